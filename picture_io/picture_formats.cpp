#include "picture_io/picture_formats.h"

#include <algorithm>
#include <initializer_list>

#include "picture_io/bmp_codec.h"
#include "picture_io/heif_decoder.h"
#include "picture_io/jpeg_decoder.h"
#include "picture_io/metadata_sizes.h"
#include "picture_io/png_decoder.h"
#include "picture_io/tiff_decoder.h"
#include "picture_io/webp_decoder.h"
#include "system/file_names.h"

namespace tavren {

namespace {

using namespace std::string_view_literals;
using TSignatures = std::vector<std::vector<TSignaturePart>>;

// The reach of a format whose files hold nothing a copy keeps beyond the
// extent Extent tells.
template <std::uint64_t (*Extent)(const TByteSource&)>
TMetadataReach ExtentOnly(const TByteSource& file) {
  return {Extent(file), {}, {}, {}};
}

// An ISO box file (HEIF, AVIF) begins with its file-type box, whose major
// brand names the kind of file.
TSignatures MajorBrands(std::initializer_list<std::string_view> brands) {
  TSignatures signatures;
  for (std::string_view brand : brands) signatures.push_back({{4, "ftyp"}, {8, brand}});
  return signatures;
}

std::vector<TPictureFormat> EveryFormat() {
  return {
      {"JPEG",
       "JPEG & BMP Image",
       {".jpg", ".jpeg", ".jfif", ".jpe"},
       {".jpg", ".jpeg"},
       nullptr,
       {{{0, "\xFF\xD8"}}},
       CheckJpegHeader,
       ReadJpegPictureSize,
       LoadJpeg,
       ReadJpegMetadata,
       nullptr,
       MeasureJpegMetadata,
       ExtentOnly<JpegMetadataExtent>},
      {"BMP",
       "JPEG & BMP Image",
       {".bmp"},
       {".bmp"},
       nullptr,
       {{{0, "BM"}}},
       CheckBmpHeader,
       ReadBmpPictureSize,
       DecodeFileBytes<LoadBmp>,
       nullptr},
      {"HEIF",
       "HEIC & HEIF Image",
       {".heic", ".heif", ".hif"},
       {},
       nullptr,
       MajorBrands({"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"}),
       nullptr,
       ReadHeifSize,
       DecodeHeif,
       ReadHeifMetadata,
       ReadHeifKeptBlocks},
      {"PNG",
       "PNG Image",
       {".png"},
       {},
       nullptr,
       {{{0, "\x89PNG\r\n\x1A\n"}}},
       nullptr,
       ReadPngPictureSize,
       LoadPng,
       ReadPngMetadata,
       nullptr,
       MeasurePngMetadata,
       ExtentOnly<PngMetadataExtent>},
      {"TIFF",
       "TIFF Image",
       {".tif", ".tiff"},
       {},
       nullptr,
       {{{0, "II*\0"sv}}, {{0, "MM\0*"sv}}, {{0, "II+\0"sv}}, {{0, "MM\0+"sv}}},
       nullptr,
       ReadTiffSize,
       DecodeTiff,
       ReadTiffMetadata,
       nullptr,
       MeasureTiffMetadata,
       TiffMetadataReach},
      {"WebP",
       "WebP Image",
       {".webp"},
       {},
       nullptr,
       {{{0, "RIFF"}, {8, "WEBP"}}},
       nullptr,
       ReadWebpPictureSize,
       LoadWebp,
       ReadWebpMetadata,
       nullptr,
       MeasureWebpMetadata,
       ExtentOnly<WebpMetadataExtent>},
      {"AVIF",
       "AVIF Image",
       {".avif"},
       {},
       AvifDecodable,
       MajorBrands({"avif", "avis"}),
       nullptr,
       ReadHeifSize,
       DecodeHeif,
       ReadHeifMetadata,
       ReadHeifKeptBlocks},
  };
}

bool Listed(const std::vector<std::string_view>& extensions, const std::string& ext) {
  return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

// The first format with path's extension in the given list of extensions.
const TPictureFormat* FormatListing(const std::string& path,
                                    std::vector<std::string_view> TPictureFormat::*extensions) {
  const std::string ext = AsciiLower(FileExt(path));
  for (const TPictureFormat& format : PictureFormats())
    if (Listed(format.*extensions, ext)) return &format;
  return nullptr;
}

}  // namespace

// Asked for every file name a folder listing looks at: made once.
const std::vector<TPictureFormat>& PictureFormats() {
  static const std::vector<TPictureFormat> formats = [] {
    std::vector<TPictureFormat> available = EveryFormat();
    std::erase_if(available, [](const TPictureFormat& format) {
      return format.Available != nullptr && !format.Available();
    });
    return available;
  }();
  return formats;
}

const TPictureFormat* FormatOfPath(const std::string& path) {
  return FormatListing(path, &TPictureFormat::Extensions);
}

const TPictureFormat* FormatNamed(std::string_view name) {
  for (const TPictureFormat& format : PictureFormats())
    if (format.Name == name) return &format;
  return nullptr;
}

const TPictureFormat* FormatSavedAs(const std::string& path) {
  return FormatListing(path, &TPictureFormat::SaveExtensions);
}

const TPictureFormat* FormatOfContent(const std::uint8_t* data, std::size_t size) {
  for (const TPictureFormat& format : PictureFormats())
    if (HasSignature(format, data, size)) return &format;
  return nullptr;
}

bool HasKind(const std::string& path, int kind) {
  const std::vector<TPictureFormat>& formats = PictureFormats();
  if (kind < 0 || static_cast<std::size_t>(kind) >= formats.size()) return false;
  return Listed(formats[static_cast<std::size_t>(kind)].Extensions, AsciiLower(FileExt(path)));
}

bool IsOpenablePicture(const std::string& path) { return FormatOfPath(path) != nullptr; }

std::string OpenableExtensionsText() {
  std::string text;
  for (const TPictureFormat& format : PictureFormats())
    for (std::string_view ext : format.Extensions) {
      if (!text.empty()) text += ", ";
      text += ext;
    }
  return text;
}

}  // namespace tavren
