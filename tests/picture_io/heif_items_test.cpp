#include "picture_io/heif_items.h"

#include <gtest/gtest.h>

#include "intake_test_helpers.h"
#include "picture_io/heif_decoder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace tavren {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void Put(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

void Put(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

// How a box states its size: in its 32-bit field, as 0 (to the end of what
// holds it) or as 1 followed by a 64-bit size.
enum class TSizeForm { Plain, ToTheEnd, Large };

Bytes Box(std::string_view type, const Bytes& body, TSizeForm form = TSizeForm::Plain) {
  Bytes box;
  const std::uint64_t header = form == TSizeForm::Large ? 16 : 8;
  Put(box,
      form == TSizeForm::Plain      ? header + body.size()
      : form == TSizeForm::ToTheEnd ? 0
                                    : 1,
      4);
  Put(box, type);
  if (form == TSizeForm::Large) Put(box, header + body.size(), 8);
  Put(box, body);
  return box;
}

Bytes FullBody(int version, const Bytes& rest) {
  Bytes body;
  Put(body, static_cast<std::uint64_t>(version), 1);
  Put(body, 0, 3);
  Put(body, rest);
  return body;
}

Bytes ItemInfo(const std::vector<std::pair<std::uint32_t, std::string_view>>& items) {
  Bytes entries;
  Put(entries, items.size(), 2);
  for (const auto& [id, type] : items) {
    Bytes entry;
    Put(entry, id, 2);
    Put(entry, 0, 2);  // protection index
    Put(entry, type);
    Put(entries, Box("infe", FullBody(2, entry)));
  }
  return Box("iinf", FullBody(0, entries));
}

struct TLocation {
  std::uint32_t Id;
  unsigned Method;  // 0 the file, 1 the item data box
  std::uint64_t Offset;
  std::uint64_t Length;
};

// An item location box of the version, with 4-byte offsets and lengths,
// no base offsets and (from version 1 on) no extent indices.
Bytes ItemLocations(int version, const std::vector<TLocation>& items,
                    TSizeForm form = TSizeForm::Plain) {
  Bytes body;
  Put(body, 0x4400, 2);
  Put(body, items.size(), version < 2 ? 2 : 4);
  for (const TLocation& item : items) {
    Put(body, item.Id, version < 2 ? 2 : 4);
    if (version >= 1) Put(body, item.Method, 2);
    Put(body, 0, 2);  // data reference
    Put(body, 1, 2);  // one extent
    Put(body, item.Offset, 4);
    Put(body, item.Length, 4);
  }
  return Box("iloc", FullBody(version, body), form);
}

// A grid's description (or an overlay's, with its four fill values).
Bytes Canvas(std::uint32_t width, std::uint32_t height, bool overlay, bool wide) {
  Bytes body;
  Put(body, 0, 1);
  Put(body, wide ? 1 : 0, 1);
  Put(body, 0, overlay ? 8 : 2);
  Put(body, width, wide ? 4 : 2);
  Put(body, height, wide ? 4 : 2);
  return body;
}

Bytes References(std::uint32_t derived, const std::vector<std::uint32_t>& parts) {
  Bytes reference;
  Put(reference, derived, 2);
  Put(reference, parts.size(), 2);
  for (std::uint32_t part : parts) Put(reference, part, 2);
  return Box("iref", FullBody(0, Box("dimg", reference)));
}

Bytes File(const Bytes& metaChildren, TSizeForm metaForm = TSizeForm::Plain,
           const Bytes& tail = {}) {
  Bytes file = Box("ftyp", {'h', 'e', 'i', 'c', 0, 0, 0, 0});
  Put(file, Box("meta", FullBody(0, metaChildren), metaForm));
  Put(file, tail);
  return file;
}

// A grid 1 made of pictures 2 and 3, its description in the item data box.
Bytes GridInItemData(int ilocVersion, TSizeForm ilocForm, const Bytes& description) {
  Bytes children = ItemInfo({{1, "grid"}, {2, "hvc1"}, {3, "hvc1"}});
  Put(children, ItemLocations(ilocVersion, {{1, 1, 0, description.size()}}, ilocForm));
  Put(children, Box("idat", description));
  Put(children, References(1, {2, 3}));
  return children;
}

// A grid whose description stands in the file's media data, after the
// meta box: the location's offset counts from the start of the file.
Bytes GridInFile(const Bytes& description) {
  const auto build = [&](std::uint64_t offset) {
    Bytes children = ItemInfo({{1, "grid"}, {2, "hvc1"}});
    Put(children, ItemLocations(0, {{1, 0, offset, description.size()}}));
    return File(children, TSizeForm::Plain, Box("mdat", description));
  };
  return build(build(0).size() - description.size());
}

TEST(HeifItems, CanvasesAndPartsAsLibheifReadsTheBoxes) {
  const Bytes grid = Canvas(4000, 3000, false, false);
  const Bytes wideOverlay = Canvas(70000, 2, true, true);
  Bytes overlayChildren = ItemInfo({{7, "iovl"}, {8, "av01"}});
  Put(overlayChildren, ItemLocations(1, {{7, 1, 0, wideOverlay.size()}}));
  Put(overlayChildren, Box("idat", wideOverlay));
  Bytes madeOfMetadata = GridInItemData(1, TSizeForm::Plain, grid);
  Put(madeOfMetadata, ItemInfo({{9, "Exif"}}));  // a second iinf is not read
  Bytes exifPart = ItemInfo({{1, "grid"}, {2, "Exif"}});
  Put(exifPart, ItemLocations(1, {{1, 1, 0, grid.size()}}));
  Put(exifPart, Box("idat", grid));
  Put(exifPart, References(1, {2}));
  Bytes beyondItemData = ItemInfo({{1, "grid"}});
  Put(beyondItemData, ItemLocations(1, {{1, 1, 4, grid.size()}}));
  Put(beyondItemData, Box("idat", grid));

  const struct {
    const char* What;
    Bytes File;
    std::optional<std::vector<std::uint32_t>> Canvas;  // width, height of each
    bool FromPicturesOnly;
  } cases[] = {
      {"no meta box", Box("ftyp", {'h', 'e', 'i', 'c'}), std::vector<std::uint32_t>{}, true},
      {"iloc version 0, in the file", GridInFile(grid), std::vector<std::uint32_t>{4000, 3000},
       true},
      {"iloc version 1, item data", File(GridInItemData(1, TSizeForm::Plain, grid)),
       std::vector<std::uint32_t>{4000, 3000}, true},
      {"iloc version 2, 32-bit items", File(GridInItemData(2, TSizeForm::Plain, grid)),
       std::vector<std::uint32_t>{4000, 3000}, true},
      {"meta of size 0, iloc of a 64-bit size",
       File(GridInItemData(1, TSizeForm::Large, grid), TSizeForm::ToTheEnd),
       std::vector<std::uint32_t>{4000, 3000}, true},
      {"overlay with a 32-bit canvas", File(overlayChildren), std::vector<std::uint32_t>{70000, 2},
       true},
      {"description beyond the item data", File(beyondItemData), std::nullopt, true},
      {"description cut short",
       File(GridInItemData(1, TSizeForm::Plain, Bytes(grid.begin(), grid.end() - 1))), std::nullopt,
       true},
      {"grid made of an Exif item", File(exifPart), std::vector<std::uint32_t>{4000, 3000}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    const THeifDerivations read = ReadHeifDerivations(c.File.data(), c.File.size());
    EXPECT_EQ(read.FromPicturesOnly, c.FromPicturesOnly);
    ASSERT_EQ(read.Canvases.has_value(), c.Canvas.has_value());
    if (!c.Canvas) continue;
    std::vector<std::uint32_t> sizes;
    for (const THeifCanvas& canvas : *read.Canvases)
      sizes.insert(sizes.end(), {canvas.Width, canvas.Height});
    EXPECT_EQ(sizes, *c.Canvas);
  }
}

Bytes Primary(std::uint32_t id) {
  Bytes body;
  Put(body, id, 2);
  return Box("pitm", FullBody(0, body));
}

// An item reference box of references of any type: type, from, to.
Bytes ReferenceBox(
    const std::vector<std::tuple<std::string_view, std::uint32_t, std::uint32_t>>& references) {
  Bytes body;
  for (const auto& [type, from, to] : references) {
    Bytes reference;
    Put(reference, from, 2);
    Put(reference, 1, 2);
    Put(reference, to, 2);
    Put(body, Box(type, reference));
  }
  return Box("iref", FullBody(0, body));
}

// An item property box: the properties, then the list of each item
// (property indices from 1) in one ipma box, or in one box each.
Bytes ItemProperties(const std::vector<Bytes>& properties,
                     const std::vector<std::pair<std::uint32_t, Bytes>>& lists,
                     bool boxEach = false) {
  Bytes ipco;
  for (const Bytes& property : properties) Put(ipco, property);
  Bytes iprp = Box("ipco", ipco);
  Bytes entries;
  const auto putEntries = [&] {
    if (entries.empty()) return;
    Bytes body;
    Put(body, boxEach ? 1 : lists.size(), 4);
    Put(body, entries);
    Put(iprp, Box("ipma", FullBody(0, body)));
    entries.clear();
  };
  for (const auto& [id, indices] : lists) {
    Put(entries, id, 2);
    Put(entries, indices.size(), 1);
    Put(entries, indices);
    if (boxEach) putEntries();
  }
  putEntries();
  return Box("iprp", iprp);
}

Bytes Aperture(std::int32_t width, std::int32_t height, std::int32_t across, std::int32_t down,
               std::uint32_t denominator = 1) {
  Bytes body;
  for (const std::int32_t number : {width, height, across, down}) {
    Put(body, static_cast<std::uint32_t>(number), 4);
    Put(body, denominator, 4);
  }
  return Box("clap", body);
}

Bytes AuxiliaryType(std::string_view type) {
  Bytes body;
  Put(body, type);
  body.push_back(0);
  return Box("auxC", FullBody(0, body));
}

// A chain of copies: item 1 a coded picture, each further one a copy
// ('iden') of the one before, the last the primary picture.
Bytes ChainOfCopies(std::uint32_t copies) {
  std::vector<std::pair<std::uint32_t, std::string_view>> items = {{1, "hvc1"}};
  std::vector<std::tuple<std::string_view, std::uint32_t, std::uint32_t>> references;
  std::vector<std::pair<std::uint32_t, Bytes>> lists;
  for (std::uint32_t id = 2; id <= copies + 1; ++id) {
    items.push_back({id, "iden"});
    references.push_back({"dimg", id, id - 1});
    lists.push_back({id, {}});
  }
  Bytes children = Primary(copies + 1);
  Put(children, ItemInfo(items));
  Put(children, ItemProperties({}, lists));
  Put(children, ReferenceBox(references));
  return File(children);
}

// What the reader gives of a transformation list, e.g. "crop 37/1, turn
// 270, mirror left-right".
std::string Described(const std::optional<std::vector<THeifTransform>>& transforms) {
  if (!transforms) return "unreadable";
  std::string text;
  for (const THeifTransform& transform : *transforms) {
    if (!text.empty()) text += ", ";
    switch (transform.Kind) {
      case THeifTransform::TKind::Turn:
        text += "turn " + std::to_string(transform.CounterClockwise);
        break;
      case THeifTransform::TKind::Mirror:
        text += transform.LeftRight ? "mirror left-right" : "mirror top-bottom";
        break;
      case THeifTransform::TKind::Crop:
        text += "crop " + std::to_string(transform.Width.Numerator) + "/" +
                std::to_string(transform.Width.Denominator);
        break;
    }
  }
  return text;
}

// The primary picture's own transformations in the order of its first
// property list; whether its transparency has its own; how many entries
// the item boxes list, how much data they locate, and how deep pictures
// are derived from pictures.
TEST(HeifItems, TransformationsEntriesAndChainsAsLibheifReadsThem) {
  const std::vector<Bytes> properties = {Box("irot", {3}), Box("imir", {1}),
                                         Aperture(37, 23, -1, 0), Box("imir", {0}),
                                         Aperture(65537 * 2, 23, 0, 0, 131072 * 2)};
  Bytes listed = Primary(1);
  Put(listed, ItemInfo({{1, "hvc1"}}));
  // clap, irot, imir with a "no property" between; the second box's list
  // for the same item is not read.
  Put(listed, ItemProperties(properties, {{1, {3, 0, 1, 2}}, {1, {4}}}, true));

  Bytes reduced = Primary(1);
  Put(reduced, ItemInfo({{1, "hvc1"}}));
  Put(reduced, ItemProperties(properties, {{1, {5, 4}}}));

  const auto withTransparency = [&](std::string_view type) {
    Bytes children = Primary(1);
    Put(children, ItemInfo({{1, "hvc1"}, {2, "hvc1"}}));
    std::vector<Bytes> all = properties;
    all.push_back(AuxiliaryType(type));
    Put(children, ItemProperties(all, {{1, {1}}, {2, {6, 1}}}));
    Put(children, ReferenceBox({{"auxl", 2, 1}}));
    return File(children);
  };

  // A grid of a copy of a copy of a picture, carrying a transparency.
  Bytes chain = Primary(4);
  Put(chain, ItemInfo({{1, "hvc1"}, {2, "iden"}, {3, "iden"}, {4, "grid"}, {5, "hvc1"}}));
  Put(chain, ReferenceBox({{"dimg", 2, 1}, {"dimg", 3, 2}, {"dimg", 4, 3}, {"auxl", 5, 4}}));
  Bytes circle = Primary(2);
  Put(circle, ItemInfo({{1, "hvc1"}, {2, "iden"}, {3, "iden"}}));
  Put(circle, ReferenceBox({{"dimg", 2, 3}, {"dimg", 3, 2}, {"dimg", 3, 1}}));
  Bytes carriedInCircle = Primary(1);
  Put(carriedInCircle, ItemInfo({{1, "hvc1"}, {2, "hvc1"}}));
  Put(carriedInCircle, ReferenceBox({{"auxl", 2, 1}, {"auxl", 1, 2}}));

  // Two items each located over the whole file (length 0: to its end).
  Bytes twice = ItemInfo({{1, "hvc1"}, {2, "hvc1"}});
  Put(twice, ItemLocations(0, {{1, 0, 0, 0}, {2, 0, 0, 0}}));

  const struct {
    const char* What;
    Bytes File;
    const char* Transforms;
    bool AlphaTransformed;
    std::uint64_t Entries;
    std::optional<unsigned> Depth;
  } cases[] = {
      {"clap, irot, imir as listed", File(listed), "crop 37/1, turn 270, mirror left-right", false,
       2, 0u},
      {"fractions reduced as libheif does", File(reduced), "crop 32768/65536, mirror top-bottom",
       false, 1, 0u},
      {"a transparency turned", withTransparency("urn:mpeg:hevc:2015:auxid:1"), "turn 270", true, 2,
       1u},
      {"a depth map turned", withTransparency("urn:mpeg:hevc:2015:auxid:2"), "turn 270", false, 2,
       1u},
      {"a grid of a copy of a copy", File(chain), "", false, 5, 3u},
      {"a copy of itself", File(circle), "", false, 3, std::nullopt},
      {"transparencies of each other", File(carriedInCircle), "", false, 2, std::nullopt},
      {"19000 copies in a chain", ChainOfCopies(18999), "", false, 19000, 18999u},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    const THeifDerivations read = ReadHeifDerivations(c.File.data(), c.File.size());
    EXPECT_EQ(Described(read.PrimaryTransforms), c.Transforms);
    EXPECT_EQ(read.AlphaTransformed, c.AlphaTransformed);
    EXPECT_EQ(read.MostItemEntries, c.Entries);
    EXPECT_EQ(read.DeepestDerivation, c.Depth);
  }
  const Bytes file = File(twice);
  EXPECT_EQ(ReadHeifDerivations(file.data(), file.size()).LocatedBytes, 2 * file.size());
}

// Files whose items libheif would spend minutes, gigabytes or its stack
// on are refused before it reads them, by every reading of the intake.
TEST(HeifItems, LibheifIsNotGivenEndlessItems) {
  Bytes manyItems = Primary(1);
  std::vector<std::pair<std::uint32_t, std::string_view>> items;
  for (std::uint32_t id = 1; id <= 19000; ++id) items.push_back({id, "hvc1"});
  Put(manyItems, ItemInfo(items));
  Bytes overlapping = Primary(1);
  Put(overlapping, ItemInfo({{1, "hvc1"}, {2, "hvc1"}, {3, "hvc1"}}));
  Put(overlapping, ItemLocations(0, {{1, 0, 0, 0}, {2, 0, 0, 0}, {3, 0, 0, 0}}));
  Bytes circle = Primary(2);
  Put(circle, ItemInfo({{1, "hvc1"}, {2, "iden"}}));
  Put(circle, ReferenceBox({{"dimg", 2, 2}}));
  Bytes manyTiles = Primary(1);
  Put(manyTiles, ItemInfo({{1, "grid"}, {2, "hvc1"}}));
  Put(manyTiles, References(1, std::vector<std::uint32_t>(17000, 2)));

  const struct {
    const char* What;
    Bytes File;
    const char* Refusal;
  } cases[] = {
      {"19000 items", File(manyItems),
       "the HEIF file lists 19000 items, more than the 4096 that are supported"},
      {"9000 copies in a chain", ChainOfCopies(9000),
       "the HEIF file lists 9001 items, more than the 4096 that are supported"},
      {"5 copies in a chain", ChainOfCopies(5),
       "the HEIF picture is derived through 5 levels of pictures, more than the 4 that are "
       "supported"},
      {"a copy of itself", File(circle), "the file is damaged (a picture is made of itself)"},
      {"a grid of 17000 tiles", File(manyTiles),
       "the HEIF file has 17000 references between its items, more than the 16384 that are "
       "supported"},
      {"three items of the whole file", File(overlapping), "the file is damaged (its items claim"},
      // The meta box is held in memory: not one that runs over a long tail.
      {"a meta box over 65 MB", File(Primary(1), TSizeForm::ToTheEnd, Bytes(65 << 20, 0)),
       "the file is damaged (its meta box claims 68157458 bytes, more than the 67108864 that are "
       "supported)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    const TMemoryByteSource file(c.File.data(), c.File.size());
    for (const std::string& refusal : {test::RefusalOf([&] { DecodeHeif(file, "items", nullptr); }),
                                       test::RefusalOf([&] { ReadHeifSize(file, "items"); })})
      EXPECT_NE(refusal.find(c.Refusal), std::string::npos) << refusal;
    const TPictureBlocks blocks = ReadHeifBlocks(file);
    EXPECT_TRUE(blocks.Exif.empty() && blocks.IccProfile.empty());
  }
}

// The sizes the coded pictures' own parameters declare: those of the
// grid's tiles, and the 30000-pixel tile of a file of small pictures.
TEST(HeifItems, CodedSizesFromTheSequenceParameters) {
  for (const auto& [file, side] :
       {std::pair{"heif_rose_grid.heic", 0u}, {"heif_rose_tile_30000.heic", 30000u}}) {
    const Bytes bytes = test::DataFile(file);
    const THeifDerivations read = ReadHeifDerivations(bytes.data(), bytes.size());
    ASSERT_FALSE(read.CodedSizes.empty()) << file;
    for (const THeifCanvas& coded : read.CodedSizes) {
      if (side == 0) {
        EXPECT_GT(coded.Width, 0u) << file;
        EXPECT_LE(coded.Width, 128u) << file;
      } else {
        EXPECT_EQ(coded.Width, side) << file;
        EXPECT_EQ(coded.Height, side) << file;
      }
    }
  }
}

}  // namespace
}  // namespace tavren
