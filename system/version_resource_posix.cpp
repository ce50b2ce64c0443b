#include "system/version_resource.h"

namespace tavren {

// Programs here carry no version resource; see picture_io/file_info.h for
// the block they embed instead.
std::optional<TVersionResourceBlock> ReadVersionResource(const std::string&) {
  return std::nullopt;
}

}  // namespace tavren
