// The program's fixed texts: its name, the pieces of its settings key, the
// name of a pasted picture, link targets and captions.  They are kept
// scrambled in the executable and decoded once, by DecodeFixedTexts(), before
// any window exists; everything else reads only these globals.
#pragma once

#include <string>

namespace tavren {

extern std::string sProgramName;
extern std::string sRegistryKeyHead;
extern std::string sRegistryKeyMiddle;
extern std::string sStateValueName;
extern std::string sPastedImageName;
extern std::string sMenuHelpFile;
extern std::string sMenuAbout;
extern std::string sLinkProductPage;
extern std::string sLinkTechnologies;
extern std::string sLinkMakerHome;
extern std::string sLinkFeedback;
extern std::string sAboutTitle;
extern std::string sAboutVersionLabel;
extern std::string sAboutProductLink;
extern std::string sAboutFeedbackLink;
extern std::string sAboutFeedbackHint;
extern std::string sAboutNotice;  // UTF-8; begins with the copyright sign
extern std::string sAboutMakerLink;
extern std::string sAboutOK;

// Fills the globals above.  Safe to call more than once.
void DecodeFixedTexts();

// One stored text: a length byte L, then L bytes each holding a character
// code shifted left by one bit.  The low bit carries nothing.
std::string DecodeStoredText(const unsigned char* stored);

}  // namespace tavren
