#include "picture_io/picture_metadata.h"

#include "picture_io/byte_source.h"
#include "picture_io/picture_formats.h"
#include "picture_io/picture_limits.h"
#include "system/error.h"

namespace tavren {

TSourceMetadata ReadSourceMetadata(const std::string& path) {
  const TPictureFormat* format = FormatOfPath(path);
  if (format == nullptr || format->ReadMetadata == nullptr) return {};
  try {
    const TPictureFile file(path);
    const TFileByteSource source(file);
    RequireContentBeforeWholeRead(*format, source, path);
    return format->ReadMetadata(source);
  } catch (const TavrenError&) {
    return {};
  }
}

}  // namespace tavren
