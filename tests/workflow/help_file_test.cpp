#include "workflow/help_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "cli/options.h"
#include "support/test_support.h"

namespace tavren {
namespace {

#ifndef _WIN32
TEST(HelpFile, PageBesideTheProgram) {
  EXPECT_EQ(HelpFilePath("/usr/local/bin/brisolm-tavren"),
            "/usr/local/bin/BrisolmTavren Help.html");
  EXPECT_EQ(HelpFilePath("build/app/brisolm-tavren"), "build/app/BrisolmTavren Help.html");
  EXPECT_EQ(HelpFilePath("/brisolm-tavren"), "/BrisolmTavren Help.html");
  // Folders with blanks and dots are kept whole; only the program's name goes.
  EXPECT_EQ(HelpFilePath("/opt/My Apps.v2/brisolm-tavren"),
            "/opt/My Apps.v2/BrisolmTavren Help.html");
}

TEST(HelpFile, BareProgramNameMeansTheCurrentFolder) {
  EXPECT_EQ(HelpFilePath("brisolm-tavren"), "./BrisolmTavren Help.html");
  EXPECT_EQ(HelpFilePath(""), "./BrisolmTavren Help.html");
}

void WriteEmptyFile(const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream{path};
}

// Installed in <prefix>/bin, the program finds the page in its data folder;
// a page beside the program (a build tree) comes first.
TEST(HelpFile, InstalledProgramFindsThePageInItsDataFolder) {
  const test::TempDir prefix;
  const std::string program = prefix.file("bin/brisolm-tavren");
  const std::string beside = prefix.file("bin/BrisolmTavren Help.html");
  const std::string installed = prefix.file("share/brisolm-tavren/BrisolmTavren Help.html");
  EXPECT_EQ(HelpFilePath(program), beside) << "no page anywhere";
  WriteEmptyFile(installed);
  EXPECT_EQ(HelpFilePath(program), installed);
  WriteEmptyFile(beside);
  EXPECT_EQ(HelpFilePath(program), beside);
}
#else
TEST(HelpFile, PageBesideTheProgram) {
  EXPECT_EQ(HelpFilePath("C:\\Program Files\\Tavren\\BrisolmTavren.exe"),
            "C:\\Program Files\\Tavren\\BrisolmTavren Help.html");
  EXPECT_EQ(HelpFilePath("BrisolmTavren.exe"), ".\\BrisolmTavren Help.html");
}
#endif

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ReadHelpPage() { return ReadFile(TAVREN_HELP_PAGE); }

// A manual page as its reader sees it: troff writes the dashes of options
// as "\-".
std::string ReadManualPage(const char* path) {
  std::string page = ReadFile(path);
  for (auto at = page.find("\\-"); at != std::string::npos; at = page.find("\\-", at))
    page.erase(at, 1);
  return page;
}

// Every quoted value that follows the attribute opening `start`, e.g.
// start = "id=\"" collects the section names.
std::set<std::string> AttributeValues(const std::string& page, const std::string& start) {
  std::set<std::string> found;
  for (auto at = page.find(start); at != std::string::npos; at = page.find(start, at)) {
    at += start.size();
    const auto end = page.find('"', at);
    if (end == std::string::npos) break;
    found.insert(page.substr(at, end - at));
  }
  return found;
}

// The options of a usage text: words that begin with a dash.
std::set<std::string> Options(const std::string& usage) {
  std::set<std::string> found;
  for (std::size_t at = usage.find('-'); at != std::string::npos; at = usage.find('-', at)) {
    std::size_t end = at;
    while (end < usage.size() && (usage[end] == '-' || (usage[end] >= 'a' && usage[end] <= 'z')))
      ++end;
    found.insert(usage.substr(at, end - at));
    at = end;
  }
  return found;
}

TEST(HelpPage, EveryInternalLinkHasItsSection) {
  const std::string page = ReadHelpPage();
  ASSERT_FALSE(page.empty()) << TAVREN_HELP_PAGE;
  const auto targets = AttributeValues(page, "href=\"#");
  const auto sections = AttributeValues(page, "id=\"");
  EXPECT_GE(targets.size(), 8u);
  for (const std::string& target : targets) EXPECT_TRUE(sections.count(target)) << target;
}

TEST(HelpPage, IsSelfContained) {
  const std::string page = ReadHelpPage();
  // It must read the same without a network: no scripts, style sheets or
  // pictures fetched from elsewhere.
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("<link"), std::string::npos);
  EXPECT_EQ(page.find("src="), std::string::npos);
  EXPECT_EQ(page.find("http"), std::string::npos);
}

// The help page, the manual page and the shell's completion each name
// every option the command knows.
TEST(UserDocuments, NameEveryOptionOfTheCommand) {
  const auto options = Options(cli::UsageText());
  EXPECT_TRUE(options.count("--artifact-suppression"));
  const std::pair<const char*, std::string> documents[] = {
      {TAVREN_HELP_PAGE, ReadHelpPage()},
      {TAVREN_MANUAL_PAGE, ReadManualPage(TAVREN_MANUAL_PAGE)},
      {TAVREN_COMPLETION, ReadFile(TAVREN_COMPLETION)}};
  for (const auto& [path, text] : documents) {
    ASSERT_FALSE(text.empty()) << path;
    for (const std::string& option : options)
      EXPECT_NE(text.find(option), std::string::npos) << option << " in " << path;
  }
}

}  // namespace
}  // namespace tavren
