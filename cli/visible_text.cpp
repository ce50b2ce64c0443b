#include "cli/visible_text.h"

#include <cstdio>

namespace tavren::cli {

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 character at text[i], 0 when the
// bytes there form none (overlong forms and surrogates included).
std::size_t CharacterLength(const std::string& text, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const unsigned char lead = at(0);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
  else
    return 0;
  if (text.size() - i < length) return 0;
  if (at(1) < low || at(1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (!IsContinuation(at(k))) return 0;
  return length;
}

std::string Escape(const char* form, unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, form, value);
  return text;
}

}  // namespace

std::string VisibleText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = CharacterLength(text, i);
    if (length == 0 || (length == 1 && (c < 0x20 || c == 0x7F))) {
      out += Escape("\\x%02x", c);
      ++i;
    } else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      out += Escape("\\u%04x", static_cast<unsigned char>(text[i + 1]));
      i += 2;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return out;
}

}  // namespace tavren::cli
