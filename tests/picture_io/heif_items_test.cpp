#include "picture_io/heif_items.h"

#include <gtest/gtest.h>

#include "intake_test_helpers.h"

#include <cstdint>
#include <optional>
#include <string_view>
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
