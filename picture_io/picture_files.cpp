#include "picture_io/picture_files.h"

#include <filesystem>
#include <vector>

#include "picture_io/bmp_codec.h"
#include "picture_io/byte_source.h"
#include "picture_io/jpeg_decoder.h"
#include "picture_io/picture_formats.h"
#include "picture_io/picture_limits.h"
#include "system/error.h"
#include "system/file_names.h"
#include "system/file_replace.h"

namespace tavren {

namespace {

// Why path is not opened as a picture of any format.
[[noreturn]] void RefuseFormat(const std::string& path) {
  if (path.empty()) throw TavrenError(path, "the file name is empty");
  std::error_code ec;
  if (std::filesystem::is_directory(PathOf(path), ec))
    throw TavrenError(path, "is a folder, not a picture file");
  const std::string ext = FileExt(path);
  throw TavrenError(path, (ext.empty() ? std::string("the name has no extension")
                                       : "the program does not open " + ext + " files") +
                              " (it opens " + OpenableExtensionsText() + ")");
}

const TPictureFormat& FormatToOpen(const std::string& path) {
  const TPictureFormat* format = FormatOfPath(path);
  if (format == nullptr) RefuseFormat(path);
  return *format;
}

// A file named as one format often holds another (a download saved under
// the wrong name): when it fails and its first bytes are another format's,
// the reason says so.
template <typename Work>
auto NamingTheContent(const TPictureFormat& format, const TPictureFile& file, Work&& work) {
  try {
    return work();
  } catch (const TavrenError& error) {
    std::uint8_t head[16] = {};
    std::size_t got = 0;
    try {
      got = file.ReadAt(0, head, sizeof head);
    } catch (const TavrenError&) {
      throw error;
    }
    const TPictureFormat* content = FormatOfContent(head, got);
    if (content == nullptr || content == &format || HasSignature(format, head, got)) throw;
    throw TavrenError(error.file(), error.reason() + "; the file holds a " +
                                        std::string(content->Name) + " picture");
  }
}

// The file's bytes, once the checks of its headers passed.
std::vector<std::uint8_t> ReadCheckedFile(const TPictureFormat& format, const TPictureFile& file) {
  if (format.CheckHeader != nullptr) format.CheckHeader(TFileByteSource(file), file.Path());
  RequireContentBeforeWholeRead(format, TFileByteSource(file), file.Path());
  return file.ReadAll();
}

}  // namespace

Image LoadPicture(const std::string& path, TRowFollower* follower) {
  const TPictureFormat& format = FormatToOpen(path);
  const TPictureFile file(path);
  return NamingTheContent(format, file, [&] {
    const TFileByteSource source(file);
    if (format.CheckHeader != nullptr) format.CheckHeader(source, path);
    RequireContentBeforeWholeRead(format, source, path);
    return format.Decode(source, path, follower);
  });
}

TPictureSize ReadPictureSize(const std::string& path) {
  const TPictureFormat& format = FormatToOpen(path);
  const TPictureFile file(path);
  return NamingTheContent(format, file, [&] {
    const TFileByteSource source(file);
    RequireContentBeforeWholeRead(format, source, path);
    return format.ReadSize(source, path);
  });
}

Image DecodeJpegFile(const std::string& path) {
  const TPictureFile file(path);
  return DecodeJpeg(TFileByteSource(file), path);
}

Image DecodeJpegMemory(const std::uint8_t* data, std::size_t size, const std::string& name) {
  return DecodeJpeg(data, size, name);
}

Image DecodeBmpFile(const std::string& path) {
  const TPictureFile file(path);
  const std::vector<std::uint8_t> bytes = ReadCheckedFile(*FormatNamed("BMP"), file);
  return DecodeBmp(bytes.data(), bytes.size(), path);
}

void WriteBmpFile(const Image& image, const std::string& path) {
  WriteFileAtomically(path, EncodeBmp24(image));
}

}  // namespace tavren
