#include "picture_io/heif_items.h"

#include <algorithm>
#include <map>
#include <string_view>
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
    listing.OnlyPicture = listing.OnlyPicture && IsPictureType(type);
  }
  return items;
}

// Where an item's bytes are: in the file or in the item data box.
struct TItemSources {
  const std::uint8_t* File;
  std::size_t FileSize;
  std::optional<TBox> Idat;
};

// Appends to head, up to wanted bytes, those of one extent; nothing of an
// extent that lies outside its source.
void AppendExtent(const TItemSources& sources, unsigned method, std::uint64_t offset,
                  std::uint64_t length, std::size_t wanted, std::vector<std::uint8_t>& head) {
  const bool inFile = method == 0, inIdat = method == 1 && sources.Idat;
  if (!inFile && !inIdat) return;  // offsets into other items are not followed
  const std::uint8_t* source = inFile ? sources.File : sources.Idat->Body;
  const std::size_t sourceSize = inFile ? sources.FileSize : sources.Idat->Size;
  if (offset >= sourceSize) return;
  std::uint64_t take = length == 0 ? sourceSize - offset : length;
  if (take > sourceSize - offset) take = sourceSize - offset;
  for (std::uint64_t i = 0; i < take && head.size() < wanted; ++i)
    head.push_back(source[offset + i]);
}

using THeads = std::map<std::uint32_t, std::vector<std::vector<std::uint8_t>>>;

// The first wanted bytes of the data of each derived item, one run of
// bytes for each location entry the item has, in one pass over the item
// location box.
THeads DescriptionHeads(const TBox& iloc, const TItemSources& sources, const TListings& derived,
                        std::size_t wanted) {
  THeads heads;
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
    const auto id = static_cast<std::uint32_t>(reader.Number(version < 2 ? 2 : 4));
    const auto method = static_cast<unsigned>(version >= 1 ? reader.Number(2) & 0xF : 0);
    reader.Skip(2);  // data reference index
    const std::uint64_t base = reader.Number(baseSize);
    std::uint64_t extents = reader.Number(2);
    // Extents of no bytes are all alike: one stands for them all.
    if (indexSize + offsetSize + lengthSize == 0 && extents > 1) extents = 1;
    const bool isDerived = derived.count(id) != 0;
    std::vector<std::uint8_t> head;
    for (std::uint64_t e = 0; e < extents && reader.Ok(); ++e) {
      reader.Skip(indexSize);
      const std::uint64_t offset = reader.Number(offsetSize);
      const std::uint64_t length = reader.Number(lengthSize);
      if (isDerived) AppendExtent(sources, method, base + offset, length, wanted, head);
    }
    if (isDerived && reader.Ok()) heads[id].push_back(std::move(head));
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

// The boxes of the file's first meta box (as libheif reads them); none when
// it has none.
std::vector<TBox> MetaChildren(const std::uint8_t* data, std::size_t size) {
  const std::optional<TBox> meta = FirstBox(BoxesIn(data, size), "meta");
  if (!meta || meta->Size < 4) return {};
  return BoxesIn(meta->Body + 4, meta->Size - 4);
}

// The canvases of the listed grids and overlays; nothing when a
// description cannot be read.
std::optional<std::vector<THeifCanvas>> CanvasesOf(TListings derived,
                                                   const std::vector<TBox>& metaChildren,
                                                   const TItemSources& sources) {
  std::vector<THeifCanvas> canvases;
  std::erase_if(derived,
                [](const auto& item) { return !item.second.Grid && !item.second.Overlay; });
  if (derived.empty()) return canvases;
  const std::optional<TBox> iloc = FirstBox(metaChildren, "iloc");
  if (!iloc) return std::nullopt;
  const THeads heads = DescriptionHeads(*iloc, sources, derived, kLongestDescriptionHead);
  for (const auto& [id, derivation] : derived) {
    const auto found = heads.find(id);
    if (found == heads.end() || !AddCanvases(derivation, found->second, canvases))
      return std::nullopt;
  }
  return canvases;
}

// False when a picture is made ('dimg') of an item that is not listed
// only as a picture.  libheif reads the references one after the other
// through the whole reference box, each one's header, its item, the count
// and the items it names, whatever size each header states; so they are
// read the same way here.
bool MadeOfPicturesOnly(const TListings& listings, const std::vector<TBox>& metaChildren) {
  const std::optional<TBox> iref = FirstBox(metaChildren, "iref");
  if (!iref) return true;
  TBoxReader reader(iref->Body, iref->Size);
  const unsigned idSize = reader.Number(1) == 0 ? 2 : 4;
  reader.Skip(3);
  while (reader.Ok() && reader.Left() > 0) {
    const std::uint64_t headerSize = reader.Number(4);
    const std::string_view type = reader.Code();
    if (headerSize == 1) reader.Skip(8);  // a 64-bit size
    if (type == "uuid") reader.Skip(16);
    reader.Skip(idSize);  // the derived picture
    const std::uint64_t count = reader.Number(2);
    for (std::uint64_t i = 0; i < count && reader.Ok(); ++i) {
      const auto id = static_cast<std::uint32_t>(reader.Number(idSize));
      if (!reader.Ok() || type != "dimg") continue;
      const auto listed = listings.find(id);
      if (listed == listings.end() || !listed->second.OnlyPicture) return false;
    }
  }
  return true;
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

THeifDerivations ReadHeifDerivations(const std::uint8_t* data, std::size_t size) {
  const std::vector<TBox> children = MetaChildren(data, size);
  const std::optional<TBox> iinf = FirstBox(children, "iinf");
  const TListings listings = iinf ? Listings(*iinf) : TListings();
  THeifDerivations derivations;
  derivations.Canvases = CanvasesOf(listings, children, {data, size, FirstBox(children, "idat")});
  derivations.FromPicturesOnly = MadeOfPicturesOnly(listings, children);
  derivations.CodedSizes = CodedSizesOf(children);
  return derivations;
}

}  // namespace tavren
