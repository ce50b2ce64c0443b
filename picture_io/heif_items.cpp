#include "picture_io/heif_items.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace tavren {

namespace {

// A bounded run of big-endian bytes; a read past its end fails the reader
// for good and gives 0, so that a parse can run on and check once.
class TBoxReader {
 public:
  TBoxReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Ok() const { return ok_; }
  std::size_t Left() const { return ok_ ? size_ - at_ : 0; }
  const std::uint8_t* Here() const { return data_ + at_; }

  std::uint64_t Number(unsigned bytes) {
    if (bytes > Left() || bytes > 8) {
      ok_ = false;
      return 0;
    }
    std::uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i) value = value << 8 | data_[at_++];
    return value;
  }
  std::string_view Code() {
    if (Left() < 4) {
      ok_ = false;
      return {};
    }
    at_ += 4;
    return {reinterpret_cast<const char*>(data_ + at_ - 4), 4};
  }
  void Skip(std::size_t bytes) {
    if (bytes > Left())
      ok_ = false;
    else
      at_ += bytes;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

struct TBox {
  std::string_view Type;
  const std::uint8_t* Body = nullptr;
  std::size_t Size = 0;
};

// The boxes that follow each other in data[0, size); a size of 0 runs to
// the end, 1 announces a 64-bit size.  A box that claims more than is left
// holds what is left, as libheif reads it.
std::vector<TBox> BoxesIn(const std::uint8_t* data, std::size_t size) {
  std::vector<TBox> boxes;
  TBoxReader reader(data, size);
  while (reader.Left() >= 8) {
    const std::uint8_t* start = reader.Here();
    const std::size_t left = reader.Left();
    std::uint64_t boxSize = reader.Number(4);
    const std::string_view type = reader.Code();
    if (boxSize == 1)
      boxSize = reader.Number(8);
    else if (boxSize == 0)
      boxSize = left;
    const std::size_t header = static_cast<std::size_t>(reader.Here() - start);
    if (!reader.Ok() || boxSize < header) break;
    const std::size_t body =
        static_cast<std::size_t>(std::min<std::uint64_t>(boxSize, left)) - header;
    boxes.push_back({type, reader.Here(), body});
    reader.Skip(body);
  }
  return boxes;
}

std::optional<TBox> FirstBox(const std::vector<TBox>& boxes, std::string_view type) {
  for (const TBox& box : boxes)
    if (box.Type == type) return box;
  return std::nullopt;
}

// How the item information box lists an item; an item listed more than
// once is held to every listing.
struct TListing {
  bool Grid = false;
  bool Overlay = false;
  bool Copy = false;        // an identity derivation ('iden') of one other picture
  bool OnlyPicture = true;  // every listing is of a picture's type
};
using TListings = std::map<std::uint32_t, TListing>;

bool IsPictureType(std::string_view type) {
  return type == "hvc1" || type == "av01" || type == "grid" || type == "iovl" || type == "iden";
}

// The items of an item information box.  Entries before version 2 have
// no type: whatever they are, they are not pictures.
TListings Listings(const TBox& iinf) {
  TBoxReader reader(iinf.Body, iinf.Size);
  const std::uint64_t version = reader.Number(1);
  reader.Skip(3);
  reader.Skip(version == 0 ? 2 : 4);
  TListings items;
  if (!reader.Ok()) return items;
  for (const TBox& infe : BoxesIn(reader.Here(), reader.Left())) {
    if (infe.Type != "infe") continue;
    TBoxReader entry(infe.Body, infe.Size);
    const std::uint64_t entryVersion = entry.Number(1);
    entry.Skip(3);
    const auto id = static_cast<std::uint32_t>(entry.Number(entryVersion == 3 ? 4 : 2));
    entry.Skip(2);  // protection index
    const std::string_view type = entryVersion >= 2 ? entry.Code() : std::string_view();
    if (!entry.Ok()) continue;
    TListing& listing = items[id];
    listing.Grid = listing.Grid || type == "grid";
    listing.Overlay = listing.Overlay || type == "iovl";
    listing.Copy = listing.Copy || type == "iden";
    listing.OnlyPicture = listing.OnlyPicture && IsPictureType(type);
  }
  return items;
}

// The item entries of an item information box, whatever they are.
std::uint64_t InfoEntries(const TBox& iinf) {
  TBoxReader reader(iinf.Body, iinf.Size);
  const std::uint64_t version = reader.Number(1);
  reader.Skip(3);
  reader.Skip(version == 0 ? 2 : 4);
  if (!reader.Ok()) return 0;
  const std::vector<TBox> entries = BoxesIn(reader.Here(), reader.Left());
  return static_cast<std::uint64_t>(std::count_if(
      entries.begin(), entries.end(), [](const TBox& box) { return box.Type == "infe"; }));
}

// Where an item's bytes are: in the file or in the item data box.
struct TItemSources {
  const TByteSource& File;
  std::uint64_t FileSize;
  std::optional<TBox> Idat;
};

// Appends to head, up to wanted bytes, those of one extent; nothing of an
// extent that lies outside its source.
void AppendExtent(const TItemSources& sources, unsigned method, std::uint64_t offset,
                  std::uint64_t length, std::size_t wanted, std::vector<std::uint8_t>& head) {
  const bool inFile = method == 0, inIdat = method == 1 && sources.Idat;
  if (!inFile && !inIdat) return;  // offsets into other items are not followed
  const TMemoryByteSource idat(inIdat ? sources.Idat->Body : nullptr,
                               inIdat ? sources.Idat->Size : 0);
  const TByteSource& source = inFile ? sources.File : idat;
  const std::uint64_t sourceSize = inFile ? sources.FileSize : idat.Size();
  if (offset >= sourceSize || head.size() >= wanted) return;
  std::uint64_t take = length == 0 ? sourceSize - offset : length;
  take = std::min({take, sourceSize - offset, std::uint64_t{wanted - head.size()}});
  const std::size_t had = head.size();
  head.resize(had + static_cast<std::size_t>(take));
  if (!source.Read(offset, head.data() + had, static_cast<std::size_t>(take))) head.resize(had);
}

// One item of an item location box: its number, where its bytes are held
// and its extents (offset including the base, length).
struct TLocation {
  std::uint32_t Id = 0;
  unsigned Method = 0;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> Extents;
};

// The items of an item location box, up to the first that cannot be read.
std::vector<TLocation> LocationsOf(const TBox& iloc) {
  std::vector<TLocation> locations;
  TBoxReader reader(iloc.Body, iloc.Size);
  const std::uint64_t version = reader.Number(1);
  reader.Skip(3);
  const std::uint64_t sizes = reader.Number(2);
  const auto offsetSize = static_cast<unsigned>(sizes >> 12 & 0xF);
  const auto lengthSize = static_cast<unsigned>(sizes >> 8 & 0xF);
  const auto baseSize = static_cast<unsigned>(sizes >> 4 & 0xF);
  const auto indexSize = static_cast<unsigned>(version >= 1 ? sizes & 0xF : 0);
  const std::uint64_t count = reader.Number(version < 2 ? 2 : 4);
  for (std::uint64_t item = 0; item < count && reader.Ok(); ++item) {
    TLocation location;
    location.Id = static_cast<std::uint32_t>(reader.Number(version < 2 ? 2 : 4));
    location.Method = static_cast<unsigned>(version >= 1 ? reader.Number(2) & 0xF : 0);
    reader.Skip(2);  // data reference index
    const std::uint64_t base = reader.Number(baseSize);
    std::uint64_t extents = reader.Number(2);
    // Extents of no bytes are all alike: one stands for them all.
    if (indexSize + offsetSize + lengthSize == 0 && extents > 1) extents = 1;
    for (std::uint64_t e = 0; e < extents && reader.Ok(); ++e) {
      reader.Skip(indexSize);
      const std::uint64_t offset = reader.Number(offsetSize);
      const std::uint64_t length = reader.Number(lengthSize);
      location.Extents.push_back({base + offset, length});
    }
    if (reader.Ok()) locations.push_back(std::move(location));
  }
  return locations;
}

// The bytes libheif copies when it reads every item's data, as it does
// once for each item when it reads the file: each extent as far as its
// source holds it.
std::uint64_t LocatedBytes(const std::vector<TLocation>& locations, const TItemSources& sources) {
  std::uint64_t total = 0;
  for (const TLocation& location : locations) {
    if (location.Method > 1 || (location.Method == 1 && !sources.Idat)) continue;
    const std::uint64_t sourceSize = location.Method == 0 ? sources.FileSize : sources.Idat->Size;
    for (const auto& [offset, length] : location.Extents) {
      if (offset >= sourceSize) continue;
      const std::uint64_t left = sourceSize - offset;
      total += length == 0 ? left : std::min(length, left);
    }
  }
  return total;
}

using THeads = std::map<std::uint32_t, std::vector<std::vector<std::uint8_t>>>;

// The first wanted bytes of the data of each derived item, one run of
// bytes for each location entry the item has.
THeads DescriptionHeads(const std::vector<TLocation>& locations, const TItemSources& sources,
                        const TListings& derived, std::size_t wanted) {
  THeads heads;
  for (const TLocation& location : locations) {
    if (derived.count(location.Id) == 0) continue;
    std::vector<std::uint8_t> head;
    for (const auto& [offset, length] : location.Extents)
      AppendExtent(sources, location.Method, offset, length, wanted, head);
    heads[location.Id].push_back(std::move(head));
  }
  return heads;
}

// A grid's description: version, flags, rows and columns less one, then
// the canvas; an overlay's: version, flags, four fill values, the canvas.
// Flag 1 makes the canvas's numbers 32-bit.
std::optional<THeifCanvas> CanvasOf(const std::vector<std::uint8_t>& head, bool overlay) {
  TBoxReader reader(head.data(), head.size());
  reader.Skip(1);
  const unsigned fieldSize = (reader.Number(1) & 1) ? 4 : 2;
  reader.Skip(overlay ? 8 : 2);
  THeifCanvas canvas;
  canvas.Width = static_cast<std::uint32_t>(reader.Number(fieldSize));
  canvas.Height = static_cast<std::uint32_t>(reader.Number(fieldSize));
  if (!reader.Ok()) return std::nullopt;
  return canvas;
}

constexpr std::size_t kLongestDescriptionHead = 2 + 8 + 2 * 4;

// The canvases one item's descriptions declare, read as each way the item
// is listed; false when one cannot be read or the item has none.
bool AddCanvases(const TListing& derivation, const std::vector<std::vector<std::uint8_t>>& heads,
                 std::vector<THeifCanvas>& canvases) {
  if (heads.empty()) return false;
  for (const std::vector<std::uint8_t>& head : heads)
    for (const bool overlay : {false, true}) {
      if (!(overlay ? derivation.Overlay : derivation.Grid)) continue;
      const std::optional<THeifCanvas> canvas = CanvasOf(head, overlay);
      if (!canvas) return false;
      canvases.push_back(*canvas);
    }
  return true;
}

// The body of the file's first top-level meta box, read from the file;
// empty when it has none, or when it is larger than kMostHeifMetaBytes
// (its size is then left in oversized).  The top-level boxes are read as
// BoxesIn reads boxes in memory, their headers alone: the others' bodies
// are not read.  bodyStart is where the body lies in the file.
std::vector<std::uint8_t> FirstMetaBody(const TByteSource& file, std::uint64_t& oversized,
                                        std::uint64_t& bodyStart) {
  TSourceInput input(file);
  std::uint8_t header[16];
  const auto number = [&](std::size_t at, unsigned bytes) {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i) value = value << 8 | header[at + i];
    return value;
  };
  while (input.Size() - input.Pos() >= 8) {
    const std::uint64_t start = input.Pos();
    const std::uint64_t left = input.Size() - start;
    input.Take(header, 8);
    std::uint64_t boxSize = number(0, 4);
    const std::string_view type(reinterpret_cast<const char*>(header + 4), 4);
    std::uint64_t headerBytes = 8;
    if (boxSize == 1) {
      if (input.Take(header + 8, 8) < 8) break;
      boxSize = number(8, 8);
      headerBytes = 16;
    } else if (boxSize == 0) {
      boxSize = left;
    }
    if (boxSize < headerBytes) break;
    const std::uint64_t body = std::min(boxSize, left) - headerBytes;
    if (type == "meta") {
      if (body > kMostHeifMetaBytes) {
        oversized = body;
        return {};
      }
      std::vector<std::uint8_t> bytes(static_cast<std::size_t>(body));
      bodyStart = start + headerBytes;
      if (input.Take(bytes.data(), body) < body) return {};
      return bytes;
    }
    input.Seek(start + headerBytes + body);
  }
  return {};
}

// The boxes of a meta box's body (as libheif reads them); none when it is
// too short to hold any.
std::vector<TBox> MetaChildren(const std::vector<std::uint8_t>& meta) {
  if (meta.size() < 4) return {};
  return BoxesIn(meta.data() + 4, meta.size() - 4);
}

// The canvases of the listed grids and overlays; nothing when a
// description cannot be read.
std::optional<std::vector<THeifCanvas>> CanvasesOf(
    TListings derived, const std::optional<std::vector<TLocation>>& locations,
    const TItemSources& sources) {
  std::vector<THeifCanvas> canvases;
  std::erase_if(derived,
                [](const auto& item) { return !item.second.Grid && !item.second.Overlay; });
  if (derived.empty()) return canvases;
  if (!locations) return std::nullopt;
  const THeads heads = DescriptionHeads(*locations, sources, derived, kLongestDescriptionHead);
  for (const auto& [id, derivation] : derived) {
    const auto found = heads.find(id);
    if (found == heads.end() || !AddCanvases(derivation, found->second, canvases))
      return std::nullopt;
  }
  return canvases;
}

// One reference of an item reference box: of its type, from one item to
// the items it names.
struct TReference {
  std::string_view Type;
  std::uint32_t From = 0;
  std::vector<std::uint32_t> To;
};

// Items named by references beyond this many are counted, not kept: the
// intake refuses a file of far fewer (heif_decoder.cpp), and a file of
// hundreds of megabytes of references would otherwise cost gigabytes here.
constexpr std::uint64_t kReferencedItemsKept = 1 << 16;

// The references of the item reference box, and in total how many items
// they name.  libheif reads them one after the other through the whole
// box, each one's header, its item, the count and the items it names,
// whatever size each header states; so they are read the same way here,
// the last one as far as it can be read.
std::vector<TReference> ReferencesOf(const std::vector<TBox>& metaChildren,
                                     std::uint64_t& referencedItems) {
  std::vector<TReference> references;
  referencedItems = 0;
  const std::optional<TBox> iref = FirstBox(metaChildren, "iref");
  if (!iref) return references;
  TBoxReader reader(iref->Body, iref->Size);
  const unsigned idSize = reader.Number(1) == 0 ? 2 : 4;
  reader.Skip(3);
  while (reader.Ok() && reader.Left() > 0) {
    TReference reference;
    const std::uint64_t headerSize = reader.Number(4);
    reference.Type = reader.Code();
    if (headerSize == 1) reader.Skip(8);  // a 64-bit size
    if (reference.Type == "uuid") reader.Skip(16);
    reference.From = static_cast<std::uint32_t>(reader.Number(idSize));
    const std::uint64_t count = reader.Number(2);
    for (std::uint64_t i = 0; i < count && reader.Ok(); ++i) {
      const auto id = static_cast<std::uint32_t>(reader.Number(idSize));
      if (reader.Ok() && ++referencedItems <= kReferencedItemsKept) reference.To.push_back(id);
    }
    references.push_back(std::move(reference));
  }
  return references;
}

// False when a picture is made ('dimg') of an item that is not listed
// only as a picture.
bool MadeOfPicturesOnly(const TListings& listings, const std::vector<TReference>& references) {
  for (const TReference& reference : references) {
    if (reference.Type != "dimg") continue;
    for (const std::uint32_t id : reference.To) {
      const auto listed = listings.find(id);
      if (listed == listings.end() || !listed->second.OnlyPicture) return false;
    }
  }
  return true;
}

// The pictures whose decoding decodes others: a derived picture its
// parts, and a picture its auxiliaries (libheif decodes a transparency with
// its picture, and the transparency's own in turn).
using TSteps = std::unordered_map<std::uint32_t, std::vector<std::uint32_t>>;

TSteps DecodingSteps(const std::vector<TReference>& references) {
  TSteps steps;
  for (const TReference& reference : references) {
    if (reference.Type == "dimg") {
      std::vector<std::uint32_t>& parts = steps[reference.From];
      parts.insert(parts.end(), reference.To.begin(), reference.To.end());
    } else if (reference.Type == "auxl") {
      for (const std::uint32_t master : reference.To) steps[master].push_back(reference.From);
    }
  }
  return steps;
}

// The most steps of a chain of decodings, each picture visited once (a walk
// of its own stack, not of the program's); nothing when a chain comes back
// to a picture on it.
std::optional<unsigned> DeepestChain(const TSteps& steps) {
  std::unordered_map<std::uint32_t, unsigned> depths;  // of the pictures walked through
  std::unordered_set<std::uint32_t> onPath;
  unsigned deepest = 0;
  for (const auto& start : steps) {
    if (depths.count(start.first) != 0) continue;
    std::vector<std::pair<std::uint32_t, std::size_t>> path = {{start.first, 0}};
    onPath.insert(start.first);
    while (!path.empty()) {
      const std::uint32_t item = path.back().first;
      const auto found = steps.find(item);
      const std::vector<std::uint32_t>* next = found == steps.end() ? nullptr : &found->second;
      if (next != nullptr && path.back().second < next->size()) {
        const std::uint32_t step = (*next)[path.back().second++];
        if (onPath.count(step) != 0) return std::nullopt;
        if (depths.count(step) == 0) {
          onPath.insert(step);
          path.push_back({step, 0});
        }
        continue;
      }
      unsigned depth = 0;
      if (next != nullptr)
        for (const std::uint32_t step : *next) depth = std::max(depth, depths[step] + 1);
      depths[item] = depth;
      deepest = std::max(deepest, depth);
      onPath.erase(item);
      path.pop_back();
    }
  }
  return deepest;
}

// One property an item's list names: its index (from 1; 0 names none), and
// where in the meta box's body its number lies, in one or two bytes.
struct TAssociation {
  std::uint32_t Index = 0;
  std::size_t Place = 0;
  unsigned Bytes = 1;
};

// The property lists of the items, as libheif reads them: the entries of
// every ipma box in turn, an item's first entry counting.
struct TPropertyLists {
  std::unordered_map<std::uint32_t, std::vector<TAssociation>> Of;
  std::uint64_t Entries = 0;  // of all the boxes, which libheif joins into one list
};

void AddPropertyLists(const TBox& ipma, const std::uint8_t* metaBody, TPropertyLists& lists) {
  TBoxReader reader(ipma.Body, ipma.Size);
  const std::uint64_t version = reader.Number(1);
  const bool wideIndices = (reader.Number(3) & 1) != 0;
  const std::uint64_t count = reader.Number(4);
  std::uint64_t entries = 0;
  for (; entries < count && reader.Ok() && reader.Left() > 0; ++entries) {
    const auto id = static_cast<std::uint32_t>(reader.Number(version < 1 ? 2 : 4));
    std::vector<TAssociation> associations(static_cast<std::size_t>(reader.Number(1)));
    for (TAssociation& association : associations) {
      association.Place = static_cast<std::size_t>(reader.Here() - metaBody);
      association.Bytes = wideIndices ? 2 : 1;
      association.Index = static_cast<std::uint32_t>(wideIndices ? reader.Number(2) & 0x7FFF
                                                                 : reader.Number(1) & 0x7F);
    }
    lists.Of.emplace(id, std::move(associations));
  }
  lists.Entries += entries;
}

TPropertyLists PropertyListsOf(const std::vector<TBox>& iprpChildren,
                               const std::uint8_t* metaBody) {
  TPropertyLists lists;
  for (const TBox& box : iprpChildren)
    if (box.Type == "ipma") AddPropertyLists(box, metaBody, lists);
  return lists;
}

// The properties an item's list names, in its order; nothing when one is
// not there.
std::optional<std::vector<TBox>> PropertiesOf(std::uint32_t item, const TPropertyLists& lists,
                                              const std::vector<TBox>& properties) {
  std::vector<TBox> named;
  const auto list = lists.Of.find(item);
  if (list == lists.Of.end()) return named;
  for (const TAssociation& association : list->second) {
    if (association.Index == 0) continue;
    if (association.Index > properties.size()) return std::nullopt;
    named.push_back(properties[association.Index - 1]);
  }
  return named;
}

// A clean aperture: width, height and the two offsets, each a numerator
// and a denominator of 32 bits (the offsets' numerators signed).  Nothing
// for the fractions libheif refuses.
std::optional<THeifTransform> CropOf(const TBox& clap) {
  TBoxReader reader(clap.Body, clap.Size);
  std::uint64_t numbers[8];
  for (std::uint64_t& number : numbers) number = reader.Number(4);
  if (!reader.Ok()) return std::nullopt;
  constexpr std::uint64_t kInt32Max = 0x7FFFFFFF;
  for (const int i : {0, 1, 2, 3, 5, 7})
    if (numbers[i] > kInt32Max) return std::nullopt;
  const auto signedNumber = [](std::uint64_t number) {
    return static_cast<std::int64_t>(static_cast<std::int32_t>(static_cast<std::uint32_t>(number)));
  };
  THeifTransform crop;
  crop.Kind = THeifTransform::TKind::Crop;
  crop.Width = HeifFraction(signedNumber(numbers[0]), signedNumber(numbers[1]));
  crop.Height = HeifFraction(signedNumber(numbers[2]), signedNumber(numbers[3]));
  crop.HorizontalOffset = HeifFraction(signedNumber(numbers[4]), signedNumber(numbers[5]));
  crop.VerticalOffset = HeifFraction(signedNumber(numbers[6]), signedNumber(numbers[7]));
  for (const THeifFraction& fraction :
       {crop.Width, crop.Height, crop.HorizontalOffset, crop.VerticalOffset})
    if (fraction.Denominator == 0) return std::nullopt;
  return crop;
}

bool IsTransform(std::string_view type) {
  return type == "irot" || type == "imir" || type == "clap";
}

// A turn (irot: its low two bits count quarter turns counter-clockwise),
// a mirror (imir: its low bit 1 exchanges left and right, 0 top and
// bottom, as libheif 1.15 reads it) or a crop (clap).
std::optional<THeifTransform> TransformOf(const TBox& property) {
  if (property.Type == "clap") return CropOf(property);
  if (property.Size < 1) return std::nullopt;
  THeifTransform transform;
  if (property.Type == "irot") {
    transform.CounterClockwise = 90 * (property.Body[0] & 3);
  } else {
    transform.Kind = THeifTransform::TKind::Mirror;
    transform.LeftRight = (property.Body[0] & 1) != 0;
  }
  return transform;
}

std::optional<std::vector<THeifTransform>> TransformsOf(const std::vector<TBox>& properties) {
  std::vector<THeifTransform> transforms;
  for (const TBox& property : properties) {
    if (!IsTransform(property.Type)) continue;
    const std::optional<THeifTransform> transform = TransformOf(property);
    if (!transform) return std::nullopt;
    transforms.push_back(*transform);
  }
  return transforms;
}

// The item the primary item box names; nothing without one.
std::optional<std::uint32_t> PrimaryOf(const std::vector<TBox>& metaChildren) {
  const std::optional<TBox> pitm = FirstBox(metaChildren, "pitm");
  if (!pitm) return std::nullopt;
  TBoxReader reader(pitm->Body, pitm->Size);
  const std::uint64_t version = reader.Number(1);
  reader.Skip(3);
  const auto id = static_cast<std::uint32_t>(reader.Number(version == 0 ? 2 : 4));
  if (!reader.Ok()) return std::nullopt;
  return id;
}

// An auxiliary picture's type (auxC: version, flags, then a text ending in
// a zero byte) that makes it a transparency; libheif takes the last one.
bool IsAlpha(const std::vector<TBox>& properties) {
  std::string_view type;
  for (const TBox& property : properties) {
    if (property.Type != "auxC" || property.Size < 4) continue;
    const auto* text = reinterpret_cast<const char*>(property.Body + 4);
    type = std::string_view(text, property.Size - 4);
    type = type.substr(0, type.find('\0'));
  }
  return type == "urn:mpeg:avc:2015:auxid:1" || type == "urn:mpeg:hevc:2015:auxid:1" ||
         type == "urn:mpeg:mpegB:cicp:systems:auxiliary:alpha";
}

// The property lists of the primary picture's transparencies (auxiliary
// pictures of an alpha type).
std::vector<std::vector<TBox>> AlphaProperties(std::uint32_t primary,
                                               const std::vector<TReference>& references,
                                               const TPropertyLists& lists,
                                               const std::vector<TBox>& properties) {
  std::vector<std::vector<TBox>> alphas;
  for (const TReference& reference : references) {
    if (reference.Type != "auxl" ||
        std::find(reference.To.begin(), reference.To.end(), primary) == reference.To.end())
      continue;
    std::optional<std::vector<TBox>> own = PropertiesOf(reference.From, lists, properties);
    if (own && IsAlpha(*own)) alphas.push_back(std::move(*own));
  }
  return alphas;
}

// True when a transparency has turns, mirrors or crops of its own.
bool AnyTransformed(const std::vector<std::vector<TBox>>& alphas) {
  return std::any_of(alphas.begin(), alphas.end(), [](const std::vector<TBox>& own) {
    return std::any_of(own.begin(), own.end(),
                       [](const TBox& box) { return IsTransform(box.Type); });
  });
}

// The properties of the item property box, in their order.
std::vector<TBox> PropertiesIn(const std::vector<TBox>& iprpChildren) {
  const std::optional<TBox> ipco = FirstBox(iprpChildren, "ipco");
  return ipco ? BoxesIn(ipco->Body, ipco->Size) : std::vector<TBox>();
}

// The item boxes that say what each picture is made of and how it stands.
struct TItemBoxes {
  const TListings& Listings;
  const std::vector<TReference>& References;
  const TPropertyLists& Lists;
  const std::vector<TBox>& Properties;
};

// A picture's size as libheif takes it when it joins a transparency to its
// picture: its ispe, then turned and cropped by the turns and crops listed
// behind the ispe (withTransforms), or not (without them).  0 x 0 without an
// ispe; nothing when a crop cannot be read.
std::optional<std::pair<std::int64_t, std::int64_t>> JoiningSize(
    const std::vector<TBox>& properties, bool withTransforms) {
  std::pair<std::int64_t, std::int64_t> size{0, 0};
  bool sized = false;
  for (const TBox& property : properties) {
    if (property.Type == "ispe") {
      TBoxReader reader(property.Body, property.Size);
      reader.Skip(4);
      const auto width = static_cast<std::int64_t>(reader.Number(4));
      const auto height = static_cast<std::int64_t>(reader.Number(4));
      if (!reader.Ok()) return std::nullopt;
      size = {width, height};
      sized = true;
    }
    if (!sized || !withTransforms || !IsTransform(property.Type)) continue;
    const std::optional<THeifTransform> transform = TransformOf(property);
    if (!transform) return std::nullopt;
    if (transform->Kind == THeifTransform::TKind::Crop) {
      const auto rounded = [](const THeifFraction& f) {
        return (f.Numerator + f.Denominator / 2) / f.Denominator;
      };
      size = {rounded(transform->Width), rounded(transform->Height)};
    } else if (transform->Kind == THeifTransform::TKind::Turn &&
               transform->CounterClockwise % 180 == 90) {
      std::swap(size.first, size.second);
    }
  }
  return size;
}

// The places of the property numbers that name the picture's transforms.
void AddTransformPlaces(std::uint32_t item, const TItemBoxes& boxes,
                        std::vector<std::uint64_t>& places) {
  const auto list = boxes.Lists.Of.find(item);
  if (list == boxes.Lists.Of.end()) return;
  for (const TAssociation& association : list->second) {
    if (association.Index == 0 || association.Index > boxes.Properties.size() ||
        !IsTransform(boxes.Properties[association.Index - 1].Type))
      continue;
    for (unsigned byte = 0; byte < association.Bytes; ++byte)
      places.push_back(association.Place + byte);
  }
}

// The pictures that carry a transparency for the item, as libheif finds
// them: auxiliary pictures of one master, of an alpha type.
std::vector<std::uint32_t> AlphasOf(std::uint32_t item, const TItemBoxes& boxes) {
  std::vector<std::uint32_t> alphas;
  for (const TReference& reference : boxes.References) {
    if (reference.Type != "auxl" || reference.To.size() != 1 || reference.To[0] != item) continue;
    const auto listed = boxes.Listings.find(reference.From);
    if (listed == boxes.Listings.end() || !listed->second.OnlyPicture) continue;
    const std::optional<std::vector<TBox>> own =
        PropertiesOf(reference.From, boxes.Lists, boxes.Properties);
    if (own && IsAlpha(*own)) alphas.push_back(reference.From);
  }
  return alphas;
}

// The one picture a copy is made of; nothing when it is not a copy of one.
std::optional<std::uint32_t> CopiedPicture(std::uint32_t item, const TItemBoxes& boxes) {
  const auto listed = boxes.Listings.find(item);
  if (listed == boxes.Listings.end() || !listed->second.Copy) return std::nullopt;
  for (const TReference& reference : boxes.References)
    if (reference.Type == "dimg" && reference.From == item)
      return reference.To.size() == 1 ? std::optional(reference.To[0]) : std::nullopt;
  return std::nullopt;
}

// The chain of copies down from the primary picture, each level's
// transforms and their places; false when one cannot be read or a copied
// picture has a transparency of its own (libheif joins that between the
// levels).  The chain is as long as the derivation bound lets it be.
constexpr unsigned kLongestChainRead = 16;

bool ReadChain(std::uint32_t primary, const TItemBoxes& boxes, THeifLevels& levels,
               std::uint32_t& base) {
  std::optional<std::uint32_t> item = primary;
  for (unsigned step = 0; item && step < kLongestChainRead; ++step) {
    const std::optional<std::vector<TBox>> own = PropertiesOf(*item, boxes.Lists, boxes.Properties);
    const std::optional<std::vector<THeifTransform>> transforms =
        own ? TransformsOf(*own) : std::nullopt;
    if (!transforms || (step > 0 && !AlphasOf(*item, boxes).empty())) return false;
    levels.Chain.push_back(*transforms);
    AddTransformPlaces(*item, boxes, levels.HiddenPlaces);
    base = *item;
    item = CopiedPicture(*item, boxes);
  }
  return !item;
}

// The transparency of the primary picture: libheif joins it when its size
// and the picture's agree, both turned and cropped.  Hidden, the two must
// still agree, and with the picture the chain decodes to, so that libheif
// joins the same planes untransformed.
bool ReadAlpha(std::uint32_t primary, std::uint32_t base, const TItemBoxes& boxes,
               THeifLevels& levels) {
  const std::vector<std::uint32_t> alphas = AlphasOf(primary, boxes);
  if (alphas.empty()) return true;
  if (alphas.size() > 1) return false;
  const auto sizeOf = [&](std::uint32_t item, bool withTransforms) {
    const std::optional<std::vector<TBox>> own = PropertiesOf(item, boxes.Lists, boxes.Properties);
    return own ? JoiningSize(*own, withTransforms) : std::nullopt;
  };
  const auto shownAlpha = sizeOf(alphas[0], true), shownPicture = sizeOf(primary, true);
  const auto storedAlpha = sizeOf(alphas[0], false), storedPicture = sizeOf(primary, false);
  const auto storedBase = sizeOf(base, false);
  if (!shownAlpha || !shownPicture || !storedAlpha || !storedPicture || !storedBase) return false;
  const bool joined = *shownAlpha == *shownPicture;
  const bool joinedHidden = *storedAlpha == *storedPicture;
  if (joined && !joinedHidden) return false;
  if (joinedHidden && *storedAlpha != *storedBase) return false;
  const std::optional<std::vector<TBox>> own =
      PropertiesOf(alphas[0], boxes.Lists, boxes.Properties);
  const std::optional<std::vector<THeifTransform>> transforms =
      own ? TransformsOf(*own) : std::nullopt;
  if (!transforms) return false;
  if (joined) levels.Alpha = *transforms;
  levels.DropJoinedAlpha = joinedHidden && !joined;
  if (joinedHidden) AddTransformPlaces(alphas[0], boxes, levels.HiddenPlaces);
  return true;
}

THeifLevels LevelsOf(std::uint32_t primary, const TItemBoxes& boxes) {
  THeifLevels levels;
  std::uint32_t base = primary;
  levels.Separable =
      ReadChain(primary, boxes, levels, base) && ReadAlpha(primary, base, boxes, levels);
  return levels;
}

// The bits of an HEVC parameter set, its emulation prevention bytes (a 3
// behind two zero bytes) taken out; reads past the end give zeros and fail.
class TBitReader {
 public:
  TBitReader(const std::uint8_t* data, std::size_t size) {
    int zeros = 0;
    for (std::size_t i = 0; i < size; ++i) {
      if (zeros >= 2 && data[i] == 3) {
        zeros = 0;
        continue;
      }
      zeros = data[i] == 0 ? zeros + 1 : 0;
      bytes_.push_back(data[i]);
    }
  }
  bool Ok() const { return ok_; }
  std::uint32_t Bits(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 1 | Bit();
    return value;
  }
  // An unsigned Exp-Golomb number; more than 31 leading zeros fail.
  std::uint32_t Golomb() {
    int zeros = 0;
    while (ok_ && Bit() == 0)
      if (++zeros > 31) ok_ = false;
    if (!ok_) return 0;
    return static_cast<std::uint32_t>((std::uint64_t{1} << zeros) - 1 + Bits(zeros));
  }

 private:
  std::uint32_t Bit() {
    if (at_ >= 8 * bytes_.size()) {
      ok_ = false;
      return 0;
    }
    const std::uint32_t bit = bytes_[at_ / 8] >> (7 - at_ % 8) & 1;
    ++at_;
    return bit;
  }
  std::vector<std::uint8_t> bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

// The picture size of an HEVC sequence parameter set (with its two bytes
// of NAL header): behind the set's ids and its profile, tier and level.
std::optional<THeifCanvas> SequenceSize(const std::uint8_t* data, std::size_t size) {
  TBitReader bits(data, size);
  bits.Bits(16);  // the NAL header
  bits.Bits(4);   // the video parameter set
  const std::uint32_t subLayers = bits.Bits(3);
  bits.Bits(1);
  bits.Bits(88);  // the general profile
  bits.Bits(8);   // the general level
  std::vector<std::pair<bool, bool>> present;
  for (std::uint32_t i = 0; i < subLayers; ++i) {
    const bool profile = bits.Bits(1) != 0;
    present.push_back({profile, bits.Bits(1) != 0});
  }
  if (subLayers > 0) bits.Bits(2 * (8 - static_cast<int>(subLayers)));
  for (const auto& [profile, level] : present) {
    if (profile) bits.Bits(88);
    if (level) bits.Bits(8);
  }
  bits.Golomb();                         // the set's id
  if (bits.Golomb() == 3) bits.Bits(1);  // separate colour planes
  THeifCanvas coded;
  coded.Width = bits.Golomb();
  coded.Height = bits.Golomb();
  if (!bits.Ok()) return std::nullopt;
  return coded;
}

constexpr unsigned kSequenceParameterSet = 33;

// The sequence parameter sets of an HEVC decoder configuration: 22 bytes
// of profile and formats, then arrays of NAL units by type.
void AddCodedSizes(const TBox& hvcC, std::vector<THeifCanvas>& sizes) {
  TBoxReader reader(hvcC.Body, hvcC.Size);
  reader.Skip(22);
  const std::uint64_t arrays = reader.Number(1);
  for (std::uint64_t a = 0; a < arrays && reader.Ok(); ++a) {
    const auto type = static_cast<unsigned>(reader.Number(1) & 0x3F);
    const std::uint64_t units = reader.Number(2);
    for (std::uint64_t u = 0; u < units && reader.Ok(); ++u) {
      const auto length = static_cast<std::size_t>(reader.Number(2));
      if (length > reader.Left()) return;
      if (type == kSequenceParameterSet)
        if (const std::optional<THeifCanvas> coded = SequenceSize(reader.Here(), length))
          sizes.push_back(*coded);
      reader.Skip(length);
    }
  }
}

// Every decoder configuration among the item properties, whichever item
// it belongs to.
std::vector<THeifCanvas> CodedSizesOf(const std::vector<TBox>& metaChildren) {
  std::vector<THeifCanvas> sizes;
  const std::optional<TBox> iprp = FirstBox(metaChildren, "iprp");
  if (!iprp) return sizes;
  const std::optional<TBox> ipco = FirstBox(BoxesIn(iprp->Body, iprp->Size), "ipco");
  if (!ipco) return sizes;
  for (const TBox& property : BoxesIn(ipco->Body, ipco->Size))
    if (property.Type == "hvcC") AddCodedSizes(property, sizes);
  return sizes;
}

}  // namespace

// libheif keeps a fraction's numbers within 2^16 by halving both.
THeifFraction HeifFraction(std::int64_t numerator, std::int64_t denominator) {
  constexpr std::int64_t kLargest = 0x10000;
  while (denominator > kLargest || denominator < -kLargest) {
    numerator /= 2;
    denominator /= 2;
  }
  while (numerator > kLargest || numerator < -kLargest) {
    numerator /= 2;
    denominator /= 2;
  }
  return {numerator, denominator};
}

THeifDerivations ReadHeifDerivations(const std::uint8_t* data, std::size_t size) {
  return ReadHeifDerivations(TMemoryByteSource(data, data == nullptr ? 0 : size));
}

THeifDerivations ReadHeifDerivations(const TByteSource& file) {
  THeifDerivations derivations;
  std::uint64_t metaStart = 0;
  const std::vector<std::uint8_t> meta = FirstMetaBody(file, derivations.OversizedMeta, metaStart);
  const std::vector<TBox> children = MetaChildren(meta);
  const std::optional<TBox> iinf = FirstBox(children, "iinf");
  const TListings listings = iinf ? Listings(*iinf) : TListings();
  const std::optional<TBox> iloc = FirstBox(children, "iloc");
  const std::optional<std::vector<TLocation>> locations =
      iloc ? std::optional(LocationsOf(*iloc)) : std::nullopt;
  const TItemSources sources = {file, file.Size(), FirstBox(children, "idat")};
  const std::vector<TReference> references = ReferencesOf(children, derivations.ReferencedItems);
  derivations.Canvases = CanvasesOf(listings, locations, sources);
  derivations.FromPicturesOnly = MadeOfPicturesOnly(listings, references);
  derivations.CodedSizes = CodedSizesOf(children);

  const std::optional<TBox> iprp = FirstBox(children, "iprp");
  const std::vector<TBox> iprpChildren =
      iprp ? BoxesIn(iprp->Body, iprp->Size) : std::vector<TBox>();
  const TPropertyLists lists = PropertyListsOf(iprpChildren, meta.data());
  derivations.MostItemEntries =
      std::max<std::uint64_t>({iinf ? InfoEntries(*iinf) : 0, locations ? locations->size() : 0,
                               lists.Entries, references.size()});
  derivations.LocatedBytes = locations ? LocatedBytes(*locations, sources) : 0;
  derivations.DeepestDerivation = DeepestChain(DecodingSteps(references));

  const std::vector<TBox> properties = PropertiesIn(iprpChildren);
  if (const std::optional<std::uint32_t> primary = PrimaryOf(children)) {
    const std::optional<std::vector<TBox>> own = PropertiesOf(*primary, lists, properties);
    derivations.PrimaryTransforms = own ? TransformsOf(*own) : std::nullopt;
    const auto alphas = AlphaProperties(*primary, references, lists, properties);
    derivations.HasAlpha = !alphas.empty();
    derivations.AlphaTransformed = AnyTransformed(alphas);
    const TItemBoxes items = {listings, references, lists, properties};
    derivations.Levels = LevelsOf(*primary, items);
    for (std::uint64_t& place : derivations.Levels.HiddenPlaces) place += metaStart;
  }
  return derivations;
}

}  // namespace tavren
