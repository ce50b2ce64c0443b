#include "support/jpeg_test_support.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include <jpeglib.h>

#include "support/test_support.h"

namespace tavren::test {

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

namespace {

struct DecodeState {
  jpeg_decompress_struct Cinfo{};
  jpeg_error_mgr Error{};
  std::jmp_buf Jump;
  FILE* File = nullptr;
  Image Picture;
  ~DecodeState() {
    if (File) std::fclose(File);
  }
};

void JumpBack(j_common_ptr cinfo) {
  std::longjmp(*static_cast<std::jmp_buf*>(cinfo->client_data), 1);
}
void Quiet(j_common_ptr) {}

bool DecodeInto(DecodeState* s, int scaleDenom) {
  s->Cinfo.err = jpeg_std_error(&s->Error);
  s->Error.error_exit = JumpBack;
  s->Error.output_message = Quiet;
  s->Cinfo.client_data = &s->Jump;
  if (setjmp(s->Jump)) {
    jpeg_destroy_decompress(&s->Cinfo);
    return false;
  }
  jpeg_create_decompress(&s->Cinfo);
  jpeg_stdio_src(&s->Cinfo, s->File);
  jpeg_read_header(&s->Cinfo, TRUE);
  s->Cinfo.scale_num = 1;
  s->Cinfo.scale_denom = static_cast<unsigned>(scaleDenom);
  s->Cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&s->Cinfo);
  s->Picture.Reset(static_cast<std::int32_t>(s->Cinfo.output_width),
                   static_cast<std::int32_t>(s->Cinfo.output_height));
  while (s->Cinfo.output_scanline < s->Cinfo.output_height) {
    JSAMPROW row = s->Picture.Row(static_cast<std::int32_t>(s->Cinfo.output_scanline));
    jpeg_read_scanlines(&s->Cinfo, &row, 1);
  }
  jpeg_finish_decompress(&s->Cinfo);
  jpeg_destroy_decompress(&s->Cinfo);
  return true;
}

}  // namespace

Image DecodeWithLibrary(const std::string& path, int scaleDenom) {
  auto state = std::make_unique<DecodeState>();
  state->File = std::fopen(path.c_str(), "rb");
  if (state->File == nullptr || !DecodeInto(state.get(), scaleDenom)) return Image();
  return std::move(state->Picture);
}

JpegLayout InspectLayout(const std::vector<std::uint8_t>& f) {
  JpegLayout layout;
  if (f.size() < 4 || f[0] != 0xFF || f[1] != 0xD8) return layout;
  bool allOnes = true;
  std::size_t pos = 2;
  while (pos + 4 <= f.size()) {
    if (f[pos] != 0xFF) return layout;
    const std::uint8_t marker = f[pos + 1];
    const std::size_t length = f[pos + 2] << 8 | f[pos + 3];
    if (length < 2 || pos + 2 + length > f.size()) return layout;
    const std::uint8_t* body = f.data() + pos + 4;
    const std::size_t bodySize = length - 2;
    if (marker == 0xC2) layout.ProgressiveFrame = true;
    if (marker == 0xDB) {
      for (std::size_t t = 0; t < bodySize;) {
        const bool sixteenBit = (body[t] >> 4) != 0;
        const std::size_t entrySize = sixteenBit ? 2 : 1;
        if (t + 1 + 64 * entrySize > bodySize) return layout;
        for (int k = 0; k < 64; ++k) {
          const std::size_t at = t + 1 + k * entrySize;
          const int q = sixteenBit ? (body[at] << 8 | body[at + 1]) : body[at];
          allOnes = allOnes && q == 1;
        }
        ++layout.QuantTables;
        t += 1 + 64 * entrySize;
      }
    }
    if (marker == 0xDA) {
      layout.WellFormed = true;
      break;
    }
    pos += 2 + length;
  }
  layout.AllQuantizersOne = allOnes && layout.QuantTables > 0;
  return layout;
}

bool HaveExifTool() { return HaveTool("exiftool"); }

namespace {

std::string QuotedFiles(const std::vector<std::string>& files) {
  std::string quoted;
  for (const std::string& file : files) quoted += " '" + file + "'";
  return quoted;
}

// The command's standard output; its messages (the tool's warnings about
// the files it reads) are dropped.
std::string OutputOf(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    output.append(buffer, got);
  pclose(pipe);
  return output;
}

std::vector<std::uint8_t> FromBase64(const std::string& text) {
  static const std::string digits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<std::uint8_t> bytes;
  std::uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    const std::size_t value = digits.find(c);
    if (value == std::string::npos) continue;  // padding
    bits = bits << 6 | static_cast<std::uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<std::uint8_t>(bits >> count));
    }
  }
  return bytes;
}

}  // namespace

std::vector<std::vector<std::string>> ExifToolTable(const std::vector<std::string>& files,
                                                    const std::vector<std::string>& tags) {
  std::string command = "exiftool -T -f -n";
  for (const std::string& tag : tags) command += " -" + tag;
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(OutputOf(command + QuotedFiles(files)));
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> row;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) row.push_back(field);
    row.resize(tags.size());  // an empty last field
    rows.push_back(row);
  }
  return rows;
}

std::vector<ToolTexts> ExifToolRead(const std::vector<std::string>& files) {
  std::vector<ToolTexts> result;
  for (const auto& row : ExifToolTable(files, {"Make", "Model", "Software"}))
    result.push_back({row.at(0), row.at(1), row.at(2)});
  return result;
}

// The JSON output holds one object per file in order, binary values as
// "base64:...".
std::vector<std::vector<std::uint8_t>> ExifToolIccProfiles(const std::vector<std::string>& files) {
  const std::string output = OutputOf("exiftool -j -b -ICC_Profile" + QuotedFiles(files));
  const std::string fileKey = "\"SourceFile\"";
  const std::string profileKey = "\"ICC_Profile\": \"base64:";
  std::vector<std::vector<std::uint8_t>> profiles;
  for (std::size_t at = output.find(fileKey); at != std::string::npos;) {
    const std::size_t next = output.find(fileKey, at + 1);
    const std::string object = output.substr(at, next == std::string::npos ? next : next - at);
    const std::size_t key = object.find(profileKey);
    const std::size_t from = key + profileKey.size();
    profiles.push_back(key == std::string::npos
                           ? std::vector<std::uint8_t>()
                           : FromBase64(object.substr(from, object.find('"', from) - from)));
    at = next;
  }
  return profiles;
}

}  // namespace tavren::test

namespace tavren::test {

namespace {

struct EncodeState {
  jpeg_compress_struct Cinfo{};
  jpeg_error_mgr Error{};
  std::jmp_buf Jump;
  unsigned char* Buffer = nullptr;
  unsigned long Size = 0;
  ~EncodeState() { std::free(Buffer); }
};

// Grey as two scans, the second one for every AC coefficient at once: a
// scan that may be repeated without a warning.
const jpeg_scan_info kTwoGreyScans[] = {{1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 0}};

bool EncodeInto(EncodeState* s, const Image& image, const EncodeOptions& options) {
  s->Cinfo.err = jpeg_std_error(&s->Error);
  s->Error.error_exit = JumpBack;
  s->Cinfo.client_data = &s->Jump;
  if (setjmp(s->Jump)) {
    jpeg_destroy_compress(&s->Cinfo);
    return false;
  }
  jpeg_create_compress(&s->Cinfo);
  jpeg_mem_dest(&s->Cinfo, &s->Buffer, &s->Size);
  s->Cinfo.image_width = static_cast<JDIMENSION>(image.Width());
  s->Cinfo.image_height = static_cast<JDIMENSION>(image.Height());
  s->Cinfo.input_components = 3;
  s->Cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&s->Cinfo);
  if (options.Grey) jpeg_set_colorspace(&s->Cinfo, JCS_GRAYSCALE);
  s->Cinfo.arith_code = options.Arithmetic ? TRUE : FALSE;
  if (options.Progressive && options.Grey) {
    s->Cinfo.scan_info = kTwoGreyScans;
    s->Cinfo.num_scans = 2;
  } else if (options.Progressive) {
    jpeg_simple_progression(&s->Cinfo);
  }
  jpeg_start_compress(&s->Cinfo, TRUE);
  while (s->Cinfo.next_scanline < s->Cinfo.image_height) {
    JSAMPROW row =
        const_cast<JSAMPROW>(image.Row(static_cast<std::int32_t>(s->Cinfo.next_scanline)));
    jpeg_write_scanlines(&s->Cinfo, &row, 1);
  }
  jpeg_finish_compress(&s->Cinfo);
  jpeg_destroy_compress(&s->Cinfo);
  return true;
}

}  // namespace

std::vector<std::uint8_t> EncodeWithLibrary(const Image& image, const EncodeOptions& options) {
  EncodeState state;
  if (!EncodeInto(&state, image, options)) return {};
  return std::vector<std::uint8_t>(state.Buffer, state.Buffer + state.Size);
}

std::vector<std::uint8_t> WriteCoefficientsWithLibrary(const CoefficientPicture& picture) {
  EncodeState s;
  s.Cinfo.err = jpeg_std_error(&s.Error);
  s.Error.error_exit = JumpBack;
  s.Cinfo.client_data = &s.Jump;
  if (setjmp(s.Jump)) {
    jpeg_destroy_compress(&s.Cinfo);
    return {};
  }
  jpeg_create_compress(&s.Cinfo);
  jpeg_mem_dest(&s.Cinfo, &s.Buffer, &s.Size);
  const auto width = static_cast<JDIMENSION>(picture.WidthInBlocks);
  const auto height = static_cast<JDIMENSION>(picture.HeightInBlocks);
  s.Cinfo.image_width = 8 * width;
  s.Cinfo.image_height = 8 * height;
  s.Cinfo.input_components = 3;
  s.Cinfo.in_color_space = JCS_YCbCr;
  jpeg_set_defaults(&s.Cinfo);
  jpeg_set_quality(&s.Cinfo, 100, TRUE);
  for (int c = 0; c < 3; ++c) {
    s.Cinfo.comp_info[c].h_samp_factor = 1;
    s.Cinfo.comp_info[c].v_samp_factor = 1;
  }
  jpeg_simple_progression(&s.Cinfo);
  jvirt_barray_ptr arrays[3];
  const auto common = reinterpret_cast<j_common_ptr>(&s.Cinfo);
  for (auto& array : arrays)
    array = (*s.Cinfo.mem->request_virt_barray)(common, JPOOL_IMAGE, TRUE, width, height, 1);
  (*s.Cinfo.mem->realize_virt_arrays)(common);
  for (int c = 0; c < 3; ++c) {
    for (JDIMENSION row = 0; row < height; ++row) {
      JBLOCKARRAY blocks = (*s.Cinfo.mem->access_virt_barray)(common, arrays[c], row, 1, TRUE);
      std::memcpy(blocks[0], picture.Components[c].data() + std::size_t{row} * width * DCTSIZE2,
                  std::size_t{width} * sizeof(JBLOCK));
    }
  }
  jpeg_write_coefficients(&s.Cinfo, arrays);
  jpeg_finish_compress(&s.Cinfo);
  jpeg_destroy_compress(&s.Cinfo);
  return std::vector<std::uint8_t>(s.Buffer, s.Buffer + s.Size);
}

}  // namespace tavren::test
