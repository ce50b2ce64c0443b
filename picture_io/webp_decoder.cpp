#include "picture_io/webp_decoder.h"

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

// Straight red, green, blue, alpha rows, laid over white.
void RgbaToBgr(const std::uint8_t* rgba, std::size_t stride, Image& image) {
  TSampleRule rule;
  rule.SamplesPerPixel = 4;
  rule.Alpha = 3;
  std::vector<std::uint16_t> samples(4 * static_cast<std::size_t>(image.Width()));
  for (std::int32_t y = 0; y < image.Height(); ++y) {
    UnpackSamples(rgba + static_cast<std::size_t>(y) * stride, 8, false, samples.size(),
                  samples.data());
    SamplesToBgr(samples.data(), image.Width(), rule, image.Row(y));
  }
}

// Decodes straight into the picture, or through a red, green, blue, alpha
// copy when there is alpha to lay over white.
Image DecodeStill(const std::uint8_t* data, std::size_t size, const WebPBitstreamFeatures& features,
                  const std::string& name) {
  Image image;
  image.ResetForOverwrite(features.width, features.height);
  std::vector<std::uint8_t> rgba;
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) Refuse(name, VP8_STATUS_INVALID_PARAM);
  config.output.is_external_memory = 1;
  if (features.has_alpha) {
    rgba.resize(4 * static_cast<std::size_t>(features.width) *
                static_cast<std::size_t>(features.height));
    config.output.colorspace = MODE_RGBA;
    config.output.u.RGBA.rgba = rgba.data();
    config.output.u.RGBA.stride = 4 * features.width;
    config.output.u.RGBA.size = rgba.size();
  } else {
    config.output.colorspace = MODE_BGR;
    config.output.u.RGBA.rgba = image.Data();
    config.output.u.RGBA.stride = static_cast<int>(image.Stride());
    config.output.u.RGBA.size = image.ByteSize();
  }
  const VP8StatusCode status = WebPDecode(data, size, &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) Refuse(name, status);
  if (features.has_alpha)
    RgbaToBgr(rgba.data(), 4 * static_cast<std::size_t>(features.width), image);
  return image;
}

struct DemuxDelete {
  void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

struct FrameIteratorRelease {
  void operator()(WebPIterator* frame) const { WebPDemuxReleaseIterator(frame); }
};

// The first frame of an animation decoded at its own size, red, green,
// blue and alpha.
std::vector<std::uint8_t> FrameRgba(const WebPIterator& frame, const std::string& name) {
  std::vector<std::uint8_t> rgba(4 * static_cast<std::size_t>(frame.width) *
                                 static_cast<std::size_t>(frame.height));
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) Refuse(name, VP8_STATUS_INVALID_PARAM);
  config.output.is_external_memory = 1;
  config.output.colorspace = MODE_RGBA;
  config.output.u.RGBA.rgba = rgba.data();
  config.output.u.RGBA.stride = 4 * frame.width;
  config.output.u.RGBA.size = rgba.size();
  const VP8StatusCode status = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) Refuse(name, status);
  return rgba;
}

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
  const std::vector<std::uint8_t> rgba = FrameRgba(frame, name);
  Image image;
  image.ResetForOverwrite(
      static_cast<std::int32_t>(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH)),
      static_cast<std::int32_t>(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT)));
  std::memset(image.Data(), 255, image.ByteSize());
  TSampleRule rule;
  rule.SamplesPerPixel = 4;
  rule.Alpha = 3;
  std::vector<std::uint16_t> samples(4 * static_cast<std::size_t>(frame.width));
  for (int y = 0; y < frame.height; ++y) {
    UnpackSamples(
        rgba.data() + 4 * static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.width), 8,
        false, samples.size(), samples.data());
    SamplesToBgr(samples.data(), frame.width, rule,
                 image.Row(frame.y_offset + y) + 3 * frame.x_offset);
  }
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
