#include "picture_io/webp_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <webp/decode.h>
#include <webp/demux.h>

#include "picture_io/picture_limits.h"
#include "picture_io/sample_rows.h"
#include "system/error.h"

namespace tavren {

namespace {

[[noreturn]] void Refuse(const std::string& name, VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_NOT_ENOUGH_DATA:
      throw TavrenError(name, "the file ends before the picture does");
    case VP8_STATUS_OUT_OF_MEMORY:
      throw TavrenError(name, "not enough memory to decode the WebP picture");
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      throw TavrenError(name, "the WebP picture uses a feature that is not supported");
    default:
      throw TavrenError(name, "not a readable WebP picture (the data is damaged)");
  }
}

// Straight red, green, blue, alpha rows of width x height, laid over white
// into the picture from (left, top) on.
void RgbaToBgr(const std::uint8_t* rgba, std::int32_t width, std::int32_t height, Image& image,
               std::int32_t left = 0, std::int32_t top = 0) {
  TSampleRule rule;
  rule.SamplesPerPixel = 4;
  rule.Alpha = 3;
  const std::size_t stride = 4 * static_cast<std::size_t>(width);
  std::vector<std::uint16_t> samples(stride);
  for (std::int32_t y = 0; y < height; ++y) {
    UnpackSamples(rgba + static_cast<std::size_t>(y) * stride, 8, false, samples.size(),
                  samples.data());
    SamplesToBgr(samples.data(), width, rule,
                 image.Row(top + y) + 3 * static_cast<std::size_t>(left));
  }
}

// Decodes data into the caller's memory in the colour order of mode.
void DecodeInto(const std::uint8_t* data, std::size_t size, WEBP_CSP_MODE mode,
                std::uint8_t* pixels, int stride, std::size_t bytes, const std::string& name) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) Refuse(name, VP8_STATUS_INVALID_PARAM);
  config.output.is_external_memory = 1;
  config.output.colorspace = mode;
  config.output.u.RGBA.rgba = pixels;
  config.output.u.RGBA.stride = stride;
  config.output.u.RGBA.size = bytes;
  const VP8StatusCode status = WebPDecode(data, size, &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) Refuse(name, status);
}

// A width x height picture decoded as straight red, green, blue, alpha.
std::vector<std::uint8_t> DecodeRgba(const std::uint8_t* data, std::size_t size, int width,
                                     int height, const std::string& name) {
  std::vector<std::uint8_t> rgba(4 * static_cast<std::size_t>(width) *
                                 static_cast<std::size_t>(height));
  DecodeInto(data, size, MODE_RGBA, rgba.data(), 4 * width, rgba.size(), name);
  return rgba;
}

// Decodes straight into the picture, or through a red, green, blue, alpha
// copy when there is alpha to lay over white.
Image DecodeStill(const std::uint8_t* data, std::size_t size, const WebPBitstreamFeatures& features,
                  const std::string& name) {
  Image image;
  image.ResetForOverwrite(features.width, features.height);
  if (!features.has_alpha) {
    DecodeInto(data, size, MODE_BGR, image.Data(), static_cast<int>(image.Stride()),
               image.ByteSize(), name);
    return image;
  }
  const std::vector<std::uint8_t> rgba =
      DecodeRgba(data, size, features.width, features.height, name);
  RgbaToBgr(rgba.data(), features.width, features.height, image);
  return image;
}

struct DemuxDelete {
  void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

struct FrameIteratorRelease {
  void operator()(WebPIterator* frame) const { WebPDemuxReleaseIterator(frame); }
};

// The first frame drawn on the animation's canvas (transparent where the
// frame does not reach), laid over white.  The frame is drawn straight
// into the picture: the canvas around it is white, and no canvas of the
// animation's size is held besides the picture (a few bytes can declare a
// canvas of the largest picture and a frame of one pixel).
Image DecodeFirstFrame(const std::uint8_t* data, std::size_t size, const std::string& name) {
  const WebPData webp = {data, size};
  const std::unique_ptr<WebPDemuxer, DemuxDelete> demux(WebPDemux(&webp));
  if (demux == nullptr) Refuse(name, VP8_STATUS_BITSTREAM_ERROR);
  WebPIterator frame;
  if (!WebPDemuxGetFrame(demux.get(), 1, &frame)) Refuse(name, VP8_STATUS_BITSTREAM_ERROR);
  const std::unique_ptr<WebPIterator, FrameIteratorRelease> release(&frame);
  const std::vector<std::uint8_t> rgba =
      DecodeRgba(frame.fragment.bytes, frame.fragment.size, frame.width, frame.height, name);
  Image image;
  image.ResetForOverwrite(
      static_cast<std::int32_t>(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH)),
      static_cast<std::int32_t>(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT)));
  std::memset(image.Data(), 255, image.ByteSize());
  RgbaToBgr(rgba.data(), frame.width, frame.height, image, frame.x_offset, frame.y_offset);
  return image;
}

std::vector<std::uint8_t> ChunkBytes(WebPDemuxer* demux, const char* fourcc) {
  std::vector<std::uint8_t> bytes;
  WebPChunkIterator chunk;
  if (WebPDemuxGetChunk(demux, fourcc, 1, &chunk)) {
    bytes.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  return bytes;
}

// The header's description; for an animation the size is its canvas's,
// known before anything is allocated for it.
WebPBitstreamFeatures CheckedFeatures(const std::uint8_t* data, std::size_t size,
                                      const std::string& name) {
  if (data == nullptr || size == 0) throw TavrenError(name, "the file is empty");
  WebPBitstreamFeatures features;
  const VP8StatusCode status = WebPGetFeatures(data, size, &features);
  if (status != VP8_STATUS_OK) Refuse(name, status);
  RequirePictureSize(features.width, features.height, name);
  return features;
}

}  // namespace

std::pair<std::int32_t, std::int32_t> ReadWebpSize(const std::uint8_t* data, std::size_t size,
                                                   const std::string& name) {
  const WebPBitstreamFeatures features = CheckedFeatures(data, size, name);
  return {features.width, features.height};
}

Image DecodeWebp(const std::uint8_t* data, std::size_t size, const std::string& name) {
  const WebPBitstreamFeatures features = CheckedFeatures(data, size, name);
  if (features.has_animation) return DecodeFirstFrame(data, size, name);
  return DecodeStill(data, size, features, name);
}

namespace {

// libwebp reads a file no further than its RIFF chunk, whose header says
// how long it is; a file's bytes behind it are not read either.  A header
// too short for its own chunks is refused by libwebp from its first bytes,
// so a little more than the header is always read, as libwebp had it.
constexpr std::uint64_t kLeastRead = 64 << 10;

std::uint64_t RiffExtent(const TByteSource& file) {
  std::uint8_t header[8];
  if (!file.Read(0, header, sizeof header) || std::memcmp(header, "RIFF", 4) != 0)
    return file.Size();
  const std::uint64_t chunk = std::uint64_t{header[4]} | std::uint64_t{header[5]} << 8 |
                              std::uint64_t{header[6]} << 16 | std::uint64_t{header[7]} << 24;
  return std::min(file.Size(), std::max(sizeof header + chunk, kLeastRead));
}

}  // namespace

TPictureSize ReadWebpPictureSize(const TByteSource& file, const std::string& name) {
  return ReadWholeFileSize<ReadWebpSize, ReadWebpBlocks>(TFrontByteSource(file, RiffExtent(file)),
                                                         name);
}

Image LoadWebp(const TByteSource& file, const std::string& name, TRowFollower* follower) {
  return DecodeWholeFile<DecodeWebp, ReadWebpBlocks>(TFrontByteSource(file, RiffExtent(file)), name,
                                                     follower);
}

TSourceMetadata ReadWebpMetadata(const TByteSource& file) {
  return ReadWholeFileMetadata<ReadWebpBlocks>(TFrontByteSource(file, RiffExtent(file)));
}

std::uint64_t WebpMetadataExtent(const TByteSource& file) { return RiffExtent(file); }

TPictureBlocks ReadWebpBlocks(const std::uint8_t* data, std::size_t size) {
  TPictureBlocks blocks;
  if (data == nullptr || size == 0) return blocks;
  const WebPData webp = {data, size};
  const std::unique_ptr<WebPDemuxer, DemuxDelete> demux(WebPDemux(&webp));
  if (demux == nullptr) return blocks;
  const std::vector<std::uint8_t> exif = ChunkBytes(demux.get(), "EXIF");
  blocks.Exif = ExifBlockFrom(exif.data(), exif.size());
  blocks.IccProfile = ChunkBytes(demux.get(), "ICCP");
  return blocks;
}

}  // namespace tavren
