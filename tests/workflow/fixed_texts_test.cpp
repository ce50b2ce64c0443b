#include "workflow/fixed_texts.h"

#include "jpeg_export/jpeg_export.h"

#include <gtest/gtest.h>

namespace tavren {
namespace {

std::size_t Utf8Characters(const std::string& s) {
  std::size_t count = 0;
  for (unsigned char c : s) count += (c & 0xC0) != 0x80;
  return count;
}

TEST(FixedTexts, StoredTextDecoding) {
  const unsigned char empty[] = {0};
  EXPECT_EQ(DecodeStoredText(empty), "");
  const unsigned char ok[] = {2, 'O' * 2, 'K' * 2};
  EXPECT_EQ(DecodeStoredText(ok), "OK");
  // The low bit carries nothing.
  const unsigned char noisy[] = {2, 'O' * 2 + 1, 'K' * 2 + 1};
  EXPECT_EQ(DecodeStoredText(noisy), "OK");
}

TEST(FixedTexts, DecodedAtStartUp) {
  DecodeFixedTexts();
  EXPECT_EQ(sProgramName, "Brisolm Tavren");
  EXPECT_EQ(sAboutTitle, sMenuAbout);
  EXPECT_FALSE(sPastedImageName.empty());
  EXPECT_EQ(sLinkFeedback.rfind("https://", 0), 0u);
  // The notice line is its stored text behind the copyright sign.
  EXPECT_EQ(sAboutNotice.rfind("\xC2\xA9", 0), 0u);
  EXPECT_EQ(Utf8Characters(sAboutNotice), Utf8Characters(sAboutNotice.substr(2)) + 1);
  for (const std::string* text :
       {&sProgramName, &sRegistryKeyHead, &sRegistryKeyMiddle, &sStateValueName, &sMenuHelpFile,
        &sLinkProductPage, &sLinkTechnologies, &sLinkMakerHome, &sAboutVersionLabel,
        &sAboutProductLink, &sAboutFeedbackLink, &sAboutFeedbackHint, &sAboutMakerLink, &sAboutOK})
    EXPECT_FALSE(text->empty());
  // Saved files name the same web address as the program's links.
  for (const std::string* link : {&sLinkProductPage, &sLinkTechnologies, &sLinkFeedback})
    EXPECT_EQ(link->rfind(sLinkMakerHome, 0), 0u) << *link;
  EXPECT_NE(std::string(kJpegBanner).find(sLinkMakerHome), std::string::npos);
}

}  // namespace
}  // namespace tavren
