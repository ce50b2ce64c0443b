#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>

#include <gtest/gtest.h>

#include "imaging/bmp_codec.h"
#include "imaging/picture_io.h"
#include "intake_test_helpers.h"

namespace tavren {
namespace {

using test::RefusalOf;
using test::TestDataPath;
using Bytes = std::vector<std::uint8_t>;

// Files written by another program: every variant of the same picture
// decodes to the pixels of its 24-bit form.
TEST(BmpDecoder, AgreesWithFilesOfAnotherWriter) {
  const Image rose = DecodeBmpFile(TestDataPath("bmp_rose16_24.bmp"));
  ASSERT_EQ(rose.Width(), 70);
  ASSERT_EQ(rose.Height(), 46);
  for (const char* name : {"bmp_rose16_core8.bmp", "bmp_rose16_rle8.bmp", "bmp_rose16_v5_rle8.bmp",
                           "bmp_rose16_v5_8.bmp", "bmp_rose16_v5_bitfields32.bmp"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(DecodeBmpFile(TestDataPath(name)) == rose);
  }
  EXPECT_TRUE(DecodeBmpFile(TestDataPath("bmp_rose_mono1.bmp")) ==
              DecodeBmpFile(TestDataPath("bmp_rose_mono_24.bmp")));
}

}  // namespace
}  // namespace tavren
