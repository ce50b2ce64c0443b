// Small helpers shared by the intake tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "picture_io/picture_formats.h"
#include "support/test_support.h"
#include "system/error.h"
#include "system/file_bytes.h"
#include "system/file_replace.h"

namespace tavren::test {

inline std::vector<std::uint8_t> DataFile(const std::string& name) {
  return ReadFileBytes(TestDataPath(name));
}

// The picture of a file of the format named formatName held in memory, as
// the intake decodes it.
inline Image LoadPictureMemory(std::string_view formatName, const std::uint8_t* data,
                               std::size_t size, const std::string& name) {
  return FormatNamed(formatName)->Decode(TMemoryByteSource(data, size), name, nullptr);
}

// Runs decode and returns the TavrenError's full message, failing the test
// when nothing was thrown.
template <typename Decode>
std::string RefusalOf(Decode decode) {
  try {
    decode();
  } catch (const TavrenError& error) {
    return error.what();
  }
  ADD_FAILURE() << "the input was accepted";
  return "";
}

}  // namespace tavren::test
