#include "system/file_bytes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "system/error.h"

namespace tavren {

namespace {

std::string Hex(const std::uint8_t* data, std::size_t size) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", data[i]);
    text += byte;
  }
  return text;
}

}  // namespace

void TInputFile::RequireStart(std::string_view signature, const std::string& kind) const {
  std::uint8_t head[16] = {};
  const std::size_t got = ReadAt(0, head, std::min(sizeof head, signature.size()));
  RequireSignature(head, got, signature, kind, path_);
}

std::vector<std::uint8_t> TInputFile::ReadAll() const {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size_));
  bytes.resize(ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  return TInputFile(path).ReadAll();
}

void RequireSignature(const std::uint8_t* data, std::size_t size, std::string_view signature,
                      const std::string& kind, const std::string& name) {
  if (data == nullptr || size == 0) throw TavrenError(name, "the file is empty");
  const std::size_t n = std::min(size, signature.size());
  if (size >= signature.size() && std::memcmp(data, signature.data(), n) == 0) return;
  throw TavrenError(
      name, "the file is not a " + kind + " picture (it begins " + Hex(data, n) + ", not " +
                Hex(reinterpret_cast<const std::uint8_t*>(signature.data()), signature.size()) +
                ")");
}

}  // namespace tavren
