// The version resource of a program file: the fixed part (52 bytes, the
// signature FEEF04BD first) that the system's version functions read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tavren {

using TVersionResourceBlock = std::array<std::uint8_t, 52>;

// The fixed part of fileName's version resource.  Nothing where the file
// has no version resource, and on systems whose programs carry none;
// zeros where the resource is there but its fixed part cannot be read.
std::optional<TVersionResourceBlock> ReadVersionResource(const std::string& fileName);

}  // namespace tavren
