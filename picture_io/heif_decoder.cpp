#include "picture_io/heif_decoder.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include <libheif/heif.h>

#include "picture_io/byte_source.h"
#include "picture_io/heif_items.h"
#include "picture_io/heif_transforms.h"
#include "picture_io/picture_limits.h"
#include "picture_io/sample_rows.h"
#include "system/error.h"

namespace tavren {

namespace {

// libheif finds its decoders once per process.
void InitLibheif() {
  static std::once_flag once;
  std::call_once(once, [] { heif_init(nullptr); });
}

struct ContextFree {
  void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
  void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
  void operator()(heif_image* image) const { heif_image_release(image); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;
using Picture = std::unique_ptr<heif_image, ImageRelease>;

// libheif's message without the category it begins with ("Invalid input:
// "), which the reason already says in the program's words.
std::string LibraryDetail(const heif_error& error) {
  std::string detail = error.message != nullptr ? error.message : "";
  while (!detail.empty() && static_cast<unsigned char>(detail.back()) <= ' ') detail.pop_back();
  const std::size_t category = detail.find(": ");
  if (category != std::string::npos) detail.erase(0, category + 2);
  constexpr std::string_view kUnspecified = "Unspecified: ";
  if (detail.starts_with(kUnspecified)) detail.erase(0, kUnspecified.size());
  return detail;
}

// What a libheif error says is wrong with the file, in the words the other
// decoders use; libheif's own message follows in brackets.
std::string ReasonOf(const heif_error& error) {
  const std::string detail = " (" + LibraryDetail(error) + ")";
  switch (error.subcode) {
    case heif_suberror_End_of_data:
      return "the file ends before the picture does";
    case heif_suberror_Security_limit_exceeded:
      return "the picture is too large" + detail;
    case heif_suberror_Unsupported_codec:
      return "the HEIF picture's compression is not supported" + detail;
    case heif_suberror_Invalid_clean_aperture:
      return "not a readable HEIF picture (its crop lies outside the picture)";
    default:
      break;
  }
  switch (error.code) {
    case heif_error_Invalid_input:
      return "not a readable HEIF picture: the file is damaged" + detail;
    case heif_error_Unsupported_filetype:
      return "not a readable HEIF picture" + detail;
    case heif_error_Unsupported_feature:
      return "the HEIF picture uses a feature that is not supported" + detail;
    case heif_error_Memory_allocation_error:
      return "not enough memory to decode the HEIF picture" + detail;
    case heif_error_Decoder_plugin_error:
      return "the picture data is damaged" + detail;
    default:
      return "the HEIF picture cannot be decoded" + detail;
  }
}

void Check(const heif_error& error, const std::string& name) {
  if (error.code != heif_error_Ok) throw TavrenError(name, ReasonOf(error));
}

// libheif reads the file where its boxes and items lie, through a buffer
// over the open file: a tail that nothing points into is never read.  The
// bytes at the hidden places (sorted) read as 0: property numbers that then
// name no property.
struct TLibheifInput {
  TSourceInput Source;
  std::vector<std::uint64_t> Hidden;
};

TLibheifInput& InputOf(void* userdata) { return *static_cast<TLibheifInput*>(userdata); }

std::int64_t InputPosition(void* userdata) {
  return static_cast<std::int64_t>(InputOf(userdata).Source.Pos());
}

int ReadInput(void* data, std::size_t size, void* userdata) {
  TLibheifInput& input = InputOf(userdata);
  const std::uint64_t from = input.Source.Pos();
  if (input.Source.Take(data, size) != size) return -1;
  for (auto place = std::lower_bound(input.Hidden.begin(), input.Hidden.end(), from);
       place != input.Hidden.end() && *place - from < size; ++place)
    static_cast<std::uint8_t*>(data)[*place - from] = 0;
  return 0;
}

int SeekInput(std::int64_t position, void* userdata) {
  if (position < 0) return -1;
  InputOf(userdata).Source.Seek(static_cast<std::uint64_t>(position));
  return 0;
}

heif_reader_grow_status WaitForInputSize(std::int64_t size, void* userdata) {
  return size >= 0 && static_cast<std::uint64_t>(size) <= InputOf(userdata).Source.Size()
             ? heif_reader_grow_status_size_reached
             : heif_reader_grow_status_size_beyond_eof;
}

constexpr heif_reader kFileReader = {1, InputPosition, ReadInput, SeekInput, WaitForInputSize};

// libheif over one file; the input it reads lives as long as the context,
// which reads the pictures' data only when they are decoded.
struct OpenedFile {
  std::unique_ptr<TLibheifInput> Input;
  Context Read;
};

// The file's structure.  A null context when it cannot be read; reason
// then says why (taken before the context goes, which holds libheif's
// message).  libheif reads the bytes at the hidden places as 0.
OpenedFile OpenContext(const TByteSource& file, std::string& reason,
                       std::vector<std::uint64_t> hidden = {}) {
  InitLibheif();
  std::sort(hidden.begin(), hidden.end());
  OpenedFile opened{std::make_unique<TLibheifInput>(TLibheifInput{TSourceInput(file), hidden}),
                    Context(heif_context_alloc())};
  if (opened.Read == nullptr) {
    reason = "not enough memory to decode the HEIF picture";
    return opened;
  }
  const heif_error error =
      heif_context_read_from_reader(opened.Read.get(), &kFileReader, opened.Input.get(), nullptr);
  if (error.code == heif_error_Ok) return opened;
  reason = ReasonOf(error);
  opened.Read.reset();
  return opened;
}

Handle PrimaryHandle(heif_context* context, heif_error& error) {
  heif_image_handle* handle = nullptr;
  error = heif_context_get_primary_image_handle(context, &handle);
  return Handle(error.code == heif_error_Ok ? handle : nullptr);
}

// Deeper pictures are asked for in 16-bit containers, so that no level is
// lost before the rounding to 8 bits.
heif_chroma ChromaFor(const heif_image_handle* handle) {
  const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
  if (heif_image_handle_get_luma_bits_per_pixel(handle) > 8)
    return alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE;
  return alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
}

Image ToBgr(heif_image* decoded, heif_chroma chroma, const std::string& name) {
  const int width = heif_image_get_width(decoded, heif_channel_interleaved);
  const int height = heif_image_get_height(decoded, heif_channel_interleaved);
  RequirePictureSize(width, height, name);
  const int bits = heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved);
  int stride = 0;
  const std::uint8_t* plane =
      heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
  if (plane == nullptr || bits < 1 || bits > 16)
    throw TavrenError(name, "the HEIF picture cannot be decoded");

  const bool alpha =
      chroma == heif_chroma_interleaved_RGBA || chroma == heif_chroma_interleaved_RRGGBBAA_LE;
  const bool wide =
      chroma == heif_chroma_interleaved_RRGGBB_LE || chroma == heif_chroma_interleaved_RRGGBBAA_LE;
  TSampleRule rule;
  rule.SamplesPerPixel = alpha ? 4 : 3;
  rule.Alpha = alpha ? 3 : -1;
  rule.Premultiplied = heif_image_is_premultiplied_alpha(decoded) != 0;
  rule.Max = (1u << bits) - 1;

  Image image;
  image.ResetForOverwrite(width, height);
  std::vector<std::uint16_t> samples(static_cast<std::size_t>(width) *
                                     static_cast<std::size_t>(rule.SamplesPerPixel));
  for (int y = 0; y < height; ++y) {
    UnpackSamples(plane + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride),
                  wide ? 16 : 8, false, samples.size(), samples.data());
    SamplesToBgr(samples.data(), width, rule, image.Row(y));
  }
  return image;
}

// A HEIF Exif block starts with the 4-byte big-endian distance from its
// end to the TIFF header.
std::vector<std::uint8_t> ExifOf(const heif_image_handle* handle) {
  heif_item_id id = 0;
  if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) != 1) return {};
  std::vector<std::uint8_t> block(heif_image_handle_get_metadata_size(handle, id));
  if (block.size() < 4 ||
      heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok)
    return {};
  const std::uint64_t skip = 4 + (std::uint64_t{block[0]} << 24 | std::uint64_t{block[1]} << 16 |
                                  std::uint64_t{block[2]} << 8 | block[3]);
  if (skip >= block.size()) return {};
  return ExifBlockFrom(block.data() + skip, block.size() - static_cast<std::size_t>(skip));
}

// The XMP packet is an item of MIME type application/rdf+xml.
std::string XmpOf(const heif_image_handle* handle) {
  const int count = heif_image_handle_get_number_of_metadata_blocks(handle, "mime");
  if (count <= 0) return {};
  std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
  const int listed =
      heif_image_handle_get_list_of_metadata_block_IDs(handle, "mime", ids.data(), count);
  for (int i = 0; i < listed; ++i) {
    const heif_item_id id = ids[static_cast<std::size_t>(i)];
    const char* type = heif_image_handle_get_metadata_content_type(handle, id);
    if (type == nullptr || std::string_view(type) != "application/rdf+xml") continue;
    std::string packet(heif_image_handle_get_metadata_size(handle, id), '\0');
    if (heif_image_handle_get_metadata(handle, id, packet.data()).code == heif_error_Ok)
      return packet;
  }
  return {};
}

std::vector<std::uint8_t> ProfileOf(const heif_image_handle* handle) {
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
  if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return {};
  std::vector<std::uint8_t> profile(heif_image_handle_get_raw_color_profile_size(handle));
  if (profile.empty() ||
      heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok)
    return {};
  return profile;
}

// libheif reads a file's items by walking lists of them, each for each
// (19000 items take it a minute), copies each item's data once while it
// reads the file (extents may repeat the whole file), and follows chains
// of derived pictures by recursion (9000 of them overflow its stack).  A
// camera's file has a few hundred items (the tiles of its grids,
// thumbnails, metadata), whose data lie side by side in the file, and its
// pictures are derived through one or two levels (a copy of a grid of
// tiles, with a transparency or a depth map).  Each is bounded well above
// that and well below what costs libheif a second: 4096 items take it
// about half a second to read.
constexpr std::uint64_t kMostItemEntries = 4096;
constexpr std::uint64_t kMostReferencedItems = 4 * kMostItemEntries;
constexpr unsigned kDeepestDerivation = 4;

// Why libheif must not read the file's items; empty when it may.
std::string ItemStructureRefusal(const THeifDerivations& derivations, std::uint64_t size) {
  if (derivations.OversizedMeta != 0)
    return "not a readable HEIF picture: the file is damaged (its meta box claims " +
           std::to_string(derivations.OversizedMeta) + " bytes, more than the " +
           std::to_string(kMostHeifMetaBytes) + " that are supported)";
  if (derivations.MostItemEntries > kMostItemEntries)
    return "the HEIF file lists " + std::to_string(derivations.MostItemEntries) +
           " items, more than the " + std::to_string(kMostItemEntries) + " that are supported";
  if (derivations.ReferencedItems > kMostReferencedItems)
    return "the HEIF file has " + std::to_string(derivations.ReferencedItems) +
           " references between its items, more than the " + std::to_string(kMostReferencedItems) +
           " that are supported";
  if (derivations.LocatedBytes > 2 * std::uint64_t{size})
    return "not a readable HEIF picture: the file is damaged (its items claim " +
           std::to_string(derivations.LocatedBytes) + " bytes of a file of " +
           std::to_string(size) + ")";
  if (!derivations.DeepestDerivation)
    return "not a readable HEIF picture: the file is damaged (a picture is made of itself)";
  if (*derivations.DeepestDerivation > kDeepestDerivation)
    return "the HEIF picture is derived through " + std::to_string(*derivations.DeepestDerivation) +
           " levels of pictures, more than the " + std::to_string(kDeepestDerivation) +
           " that are supported";
  return {};
}

// The file's items, read before libheif reads them.
THeifDerivations CheckedItems(const TByteSource& file, const std::string& name) {
  if (file.Size() == 0) throw TavrenError(name, "the file is empty");
  THeifDerivations derivations = ReadHeifDerivations(file);
  const std::string refusal = ItemStructureRefusal(derivations, file.Size());
  if (!refusal.empty()) throw TavrenError(name, refusal);
  return derivations;
}

// libheif allocates a grid's or an overlay's canvas as its description
// declares, whatever size the file gives the picture, and takes the parts
// of a derived picture to be pictures: both are checked before anything is
// decoded.
void RequireSoundDerivedPictures(const THeifDerivations& derivations, const std::string& name) {
  if (!derivations.Canvases)
    throw TavrenError(
        name, "not a readable HEIF picture (the description of a grid or overlay cannot be read)");
  for (const THeifCanvas& canvas : *derivations.Canvases)
    RequirePictureSize(canvas.Width, canvas.Height, name);
  if (!derivations.FromPicturesOnly)
    throw TavrenError(
        name, "not a readable HEIF picture (a picture is made of an item that is not a picture)");
}

// A picture is turned, mirrored and cropped once each at most, so that a
// list of hundreds does not copy it hundreds of times.
void RequireEachTransformOnce(const std::vector<THeifTransform>& transforms,
                              const std::string& name) {
  int counts[3] = {0, 0, 0};
  for (const THeifTransform& transform : transforms)
    if (++counts[static_cast<int>(transform.Kind)] > 1)
      throw TavrenError(name,
                        "the HEIF picture is turned, mirrored or cropped more than once, which is "
                        "not supported");
}

// True when the intake applies the transforms of every level itself:
// when a level below the primary picture has some, or the picture has a
// transparency and either has some (libheif transforms each by its own
// properties, before they are laid over white).
bool AppliesEveryLevel(const THeifLevels& levels, const std::string& name) {
  for (const std::vector<THeifTransform>& level : levels.Chain)
    RequireEachTransformOnce(level, name);
  if (levels.Alpha) RequireEachTransformOnce(*levels.Alpha, name);
  if (!levels.Separable) return false;
  const bool below =
      std::any_of(levels.Chain.begin() + (levels.Chain.empty() ? 0 : 1), levels.Chain.end(),
                  [](const auto& level) { return !level.empty(); });
  const bool primary = !levels.Chain.empty() && !levels.Chain.front().empty();
  return below || (levels.Alpha && (primary || !levels.Alpha->empty()));
}

// The primary picture's turns, mirrors and crop that the intake applies
// itself: none when libheif is to apply them, which it does when one
// cannot be read (it then refuses the file) and when the picture has a
// transparency whose levels cannot be applied apart: libheif joins it to
// the picture it has turned, which unturned may differ in shape, and turns
// it first when it has transforms of its own.
std::vector<THeifTransform> OwnTransforms(const THeifDerivations& derivations,
                                          const std::string& name) {
  if (!derivations.PrimaryTransforms) return {};
  RequireEachTransformOnce(*derivations.PrimaryTransforms, name);
  if (derivations.AlphaTransformed || (derivations.HasAlpha && !derivations.Levels.Separable))
    return {};
  return *derivations.PrimaryTransforms;
}

struct DecodingOptionsFree {
  void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

// The primary picture as libheif decodes it; without its turns, mirrors
// and crop when the intake applies them.
Picture DecodedPicture(const heif_image_handle* handle, heif_chroma chroma, bool untransformed,
                       const std::string& name) {
  std::unique_ptr<heif_decoding_options, DecodingOptionsFree> options;
  if (untransformed) {
    options.reset(heif_decoding_options_alloc());
    if (options == nullptr) throw TavrenError(name, "not enough memory to decode the HEIF picture");
    options->ignore_transformations = 1;
  }
  heif_image* decoded = nullptr;
  const heif_error error =
      heif_decode_image(handle, &decoded, heif_colorspace_RGB, chroma, options.get());
  Picture picture(decoded);
  Check(error, name);
  return picture;
}

// A coded picture's own parameters can declare a picture of any size in a
// file whose pictures are small: gigabytes from a few bytes.  Coded
// pictures are held to what the file's pictures need: their largest side,
// with room for the padding of coding and for tiles larger than a small
// picture, and never above libheif's own bound of 32768.
constexpr std::int64_t kLibheifLargestSide = 32768;
constexpr std::int64_t kCodingPadding = 64;
constexpr std::int64_t kSmallestSideBound = 4096;

std::int64_t CodedSideBound(const THeifDerivations& derivations, const heif_image_handle* primary) {
  std::int64_t largestSide = std::max({std::int64_t{heif_image_handle_get_width(primary)},
                                       std::int64_t{heif_image_handle_get_height(primary)},
                                       std::int64_t{heif_image_handle_get_ispe_width(primary)},
                                       std::int64_t{heif_image_handle_get_ispe_height(primary)}});
  for (const THeifCanvas& canvas : *derivations.Canvases)
    largestSide = std::max({largestSide, std::int64_t{canvas.Width}, std::int64_t{canvas.Height}});
  return std::clamp(largestSide + kCodingPadding, kSmallestSideBound, kLibheifLargestSide);
}

// The bound is checked here on the parameters read from the file, since
// only some releases of libheif check it before they decode, and handed to
// libheif for what it checks itself.
void BoundCodedSides(heif_context* context, const THeifDerivations& derivations,
                     const heif_image_handle* primary, const std::string& name) {
  const std::int64_t bound = CodedSideBound(derivations, primary);
  for (const THeifCanvas& coded : derivations.CodedSizes)
    if (coded.Width > bound || coded.Height > bound)
      throw TavrenError(name, "the picture is too large: a coded picture of " +
                                  std::to_string(coded.Width) + " x " +
                                  std::to_string(coded.Height) +
                                  " pixels, where the file's pictures need " +
                                  std::to_string(bound) + " pixels a side at most");
  heif_context_set_maximum_image_size_limit(context, static_cast<int>(bound));
}

OpenedFile CheckedContext(const TByteSource& file, const std::string& name) {
  std::string reason;
  OpenedFile opened = OpenContext(file, reason);
  if (opened.Read == nullptr) throw TavrenError(name, reason);
  return opened;
}

// The primary picture, its size as shown within the limit.
Handle CheckedPrimary(heif_context* context, const std::string& name) {
  heif_error error{};
  Handle handle = PrimaryHandle(context, error);
  Check(error, name);
  RequirePictureSize(heif_image_handle_get_width(handle.get()),
                     heif_image_handle_get_height(handle.get()), name);
  return handle;
}

// The decoded picture's samples, Channels to a pixel as its chroma has.
TSampleGrid SamplesOf(heif_image* decoded, heif_chroma chroma, const std::string& name) {
  const int width = heif_image_get_width(decoded, heif_channel_interleaved);
  const int height = heif_image_get_height(decoded, heif_channel_interleaved);
  RequirePictureSize(width, height, name);
  int stride = 0;
  const std::uint8_t* plane =
      heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
  if (plane == nullptr) throw TavrenError(name, "the HEIF picture cannot be decoded");
  const bool wide =
      chroma == heif_chroma_interleaved_RRGGBB_LE || chroma == heif_chroma_interleaved_RRGGBBAA_LE;
  TSampleGrid grid;
  grid.Width = width;
  grid.Height = height;
  grid.Channels = 4;
  grid.Samples.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  const std::size_t rowSamples = static_cast<std::size_t>(width) * 4;
  for (int y = 0; y < height; ++y)
    UnpackSamples(plane + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride),
                  wide ? 16 : 8, false, rowSamples,
                  grid.Samples.data() + static_cast<std::size_t>(y) * rowSamples);
  return grid;
}

// Channels [first, first + count) of a grid.
TSampleGrid ChannelsOf(const TSampleGrid& grid, int first, int count) {
  TSampleGrid part;
  part.Width = grid.Width;
  part.Height = grid.Height;
  part.Channels = count;
  const std::size_t pixels = grid.Samples.size() / static_cast<std::size_t>(grid.Channels);
  part.Samples.resize(pixels * static_cast<std::size_t>(count));
  for (std::size_t p = 0; p < pixels; ++p)
    std::copy_n(grid.Samples.data() + p * static_cast<std::size_t>(grid.Channels) +
                    static_cast<std::size_t>(first),
                count, part.Samples.data() + p * static_cast<std::size_t>(count));
  return part;
}

// The colours, with the transparency when there is one, laid over white.
Image GridToBgr(const TSampleGrid& colours, const TSampleGrid* alpha, const TSampleRule& rule,
                const std::string& name) {
  if (alpha != nullptr && (alpha->Width != colours.Width || alpha->Height != colours.Height))
    throw TavrenError(name,
                      "not a readable HEIF picture (its transparency, turned and cropped, does "
                      "not fit the picture)");
  Image image;
  image.ResetForOverwrite(colours.Width, colours.Height);
  const auto width = static_cast<std::size_t>(colours.Width);
  std::vector<std::uint16_t> row(width * static_cast<std::size_t>(rule.SamplesPerPixel));
  for (std::int32_t y = 0; y < colours.Height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      const std::size_t pixel = static_cast<std::size_t>(y) * width + x;
      std::copy_n(colours.Samples.data() + 3 * pixel, 3, row.data() + 4 * x);
      if (alpha != nullptr) row[4 * x + 3] = alpha->Samples[pixel];
    }
    SamplesToBgr(row.data(), colours.Width, rule, image.Row(y));
  }
  return image;
}

// The primary picture with the transforms of every level applied by the
// intake: libheif decodes it with them hidden, the chain of copies is
// transformed from the copied picture up, and the transparency libheif
// joins by its own.
Image DecodeEveryLevel(const TByteSource& file, const THeifDerivations& derivations,
                       const std::string& name) {
  const THeifLevels& levels = derivations.Levels;
  std::string reason;
  const OpenedFile opened = OpenContext(file, reason, levels.HiddenPlaces);
  if (opened.Read == nullptr) throw TavrenError(name, reason);
  RequireSoundDerivedPictures(derivations, name);
  const Handle handle = CheckedPrimary(opened.Read.get(), name);
  BoundCodedSides(opened.Read.get(), derivations, handle.get(), name);
  std::vector<THeifTransform> chain;
  for (auto level = levels.Chain.rbegin(); level != levels.Chain.rend(); ++level)
    chain.insert(chain.end(), level->begin(), level->end());
  const heif_chroma chroma = ChromaFor(handle.get());
  const Picture decoded = DecodedPicture(handle.get(), chroma, false, name);
  const bool joined =
      chroma == heif_chroma_interleaved_RGBA || chroma == heif_chroma_interleaved_RRGGBBAA_LE;
  if (!joined && levels.Alpha)
    throw TavrenError(name, "the HEIF picture cannot be decoded (its transparency is lost)");
  if (!joined || (!levels.Alpha && !levels.DropJoinedAlpha))
    return ApplyHeifTransforms(ToBgr(decoded.get(), chroma, name), chain, name);

  const TSampleGrid samples = SamplesOf(decoded.get(), chroma, name);
  TSampleRule rule;
  rule.SamplesPerPixel = 4;
  rule.Alpha = levels.Alpha ? 3 : -1;
  rule.Premultiplied = heif_image_is_premultiplied_alpha(decoded.get()) != 0;
  const int bits = heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved);
  if (bits < 1 || bits > 16) throw TavrenError(name, "the HEIF picture cannot be decoded");
  rule.Max = (1u << bits) - 1;
  const TSampleGrid colours = ApplyHeifTransforms(ChannelsOf(samples, 0, 3), chain, name);
  if (!levels.Alpha) return GridToBgr(colours, nullptr, rule, name);
  const TSampleGrid alpha = ApplyHeifTransforms(ChannelsOf(samples, 3, 1), *levels.Alpha, name);
  return GridToBgr(colours, &alpha, rule, name);
}

}  // namespace

TPictureSize ReadHeifSize(const TByteSource& file, const std::string& name) {
  const THeifDerivations derivations = CheckedItems(file, name);
  const OpenedFile opened = CheckedContext(file, name);
  RequireSoundDerivedPictures(derivations, name);
  const Handle handle = CheckedPrimary(opened.Read.get(), name);
  return {heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get())};
}

namespace {

// The primary picture as libheif decodes it.  With ownTransforms, the
// transforms OwnTransforms gives the intake are applied by it afterwards
// (libheif applies the rest); without, libheif applies them all.
Image DecodedThenTransformed(const TByteSource& file, const THeifDerivations& derivations,
                             bool ownTransforms, const std::string& name) {
  const OpenedFile opened = CheckedContext(file, name);
  RequireSoundDerivedPictures(derivations, name);
  const std::vector<THeifTransform> transforms =
      ownTransforms ? OwnTransforms(derivations, name) : std::vector<THeifTransform>();
  const Handle handle = CheckedPrimary(opened.Read.get(), name);
  BoundCodedSides(opened.Read.get(), derivations, handle.get(), name);
  const heif_chroma chroma = ChromaFor(handle.get());
  Image image =
      ToBgr(DecodedPicture(handle.get(), chroma, !transforms.empty(), name).get(), chroma, name);
  return ApplyHeifTransforms(std::move(image), transforms, name);
}

}  // namespace

Image DecodeHeif(const TByteSource& file, const std::string& name, TRowFollower*) {
  const THeifDerivations derivations = CheckedItems(file, name);
  if (!AppliesEveryLevel(derivations.Levels, name))
    return DecodedThenTransformed(file, derivations, true, name);
  try {
    return DecodeEveryLevel(file, derivations, name);
  } catch (const TavrenError&) {
    // Untransformed, a transparency can differ in shape from its picture
    // where their sizes agree (libheif itself writes the turned size), and
    // libheif then refuses to join them: it is left to transform both.
    if (!derivations.HasAlpha) throw;
  }
  return DecodedThenTransformed(file, derivations, false, name);
}

namespace {

// The blocks that take picks from the file's primary picture; none when the
// file's items are refused before libheif reads them, or libheif cannot
// open it.
template <typename Take>
TPictureBlocks PrimaryPictureBlocks(const TByteSource& file, Take take) {
  TPictureBlocks blocks;
  if (file.Size() == 0 || !ItemStructureRefusal(ReadHeifDerivations(file), file.Size()).empty())
    return blocks;
  std::string reason;
  const OpenedFile opened = OpenContext(file, reason);
  if (opened.Read == nullptr) return blocks;
  heif_error error{};
  const Handle handle = PrimaryHandle(opened.Read.get(), error);
  if (handle != nullptr) take(handle.get(), blocks);
  return blocks;
}

}  // namespace

TPictureBlocks ReadHeifBlocks(const TByteSource& file) {
  return PrimaryPictureBlocks(file, [](auto* handle, TPictureBlocks& blocks) {
    blocks.Exif = ExifOf(handle);
    blocks.IccProfile = ProfileOf(handle);
  });
}

TSourceMetadata ReadHeifMetadata(const TByteSource& file) {
  return MetadataFromBlocks(ReadHeifBlocks(file));
}

TPictureBlocks ReadHeifKeptBlocks(const TByteSource& file) {
  return PrimaryPictureBlocks(file, [](auto* handle, TPictureBlocks& blocks) {
    blocks.Exif = ExifOf(handle);
    blocks.Xmp = XmpOf(handle);
  });
}

// Asked for every file name a folder listing looks at: answered once.
bool AvifDecodable() {
  static const bool decodable = [] {
    InitLibheif();
    return heif_have_decoder_for_format(heif_compression_AV1) != 0;
  }();
  return decodable;
}

}  // namespace tavren
