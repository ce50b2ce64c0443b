#include "support/test_support.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <random>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace tavren::test {

namespace fs = std::filesystem;

fs::path TestDataDir() { return fs::path(TAVREN_TEST_DATA_DIR); }

std::string TestDataPath(const std::string& name) { return (TestDataDir() / name).string(); }

fs::path CorpusDir() {
  const fs::path dir(TAVREN_CORPUS_DIR);
  std::error_code ec;
  return fs::is_directory(dir, ec) ? dir : fs::path();
}

std::vector<fs::path> CorpusPhotos() {
  std::vector<fs::path> photos;
  const fs::path dir = CorpusDir();
  if (dir.empty()) return photos;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    if (ext == ".jpg" || ext == ".jpeg") photos.push_back(fs::relative(entry.path(), dir));
  }
  std::sort(photos.begin(), photos.end());
  return photos;
}

long PeakResidentKiB() {
#ifdef _WIN32
  return 0;
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
#endif
}

Image RandomImage(std::int32_t width, std::int32_t height, std::uint32_t seed) {
  Image image(width, height);
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < image.ByteSize(); ++i)
    image.Data()[i] = static_cast<std::uint8_t>(random() >> 24);
  return image;
}

std::string ShellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

bool RunQuietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1 </dev/null").c_str()) == 0;
}

// The tools are Debian's; a test program built for Windows runs without them.
bool HaveTool(const std::string& program) {
#ifdef _WIN32
  (void)program;
  return false;
#else
  return RunQuietly("command -v " + ShellQuoted(program));
#endif
}

bool MakePicture(const std::string& source, const std::string& target, const std::string& options) {
  std::string ext = fs::path(target).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
  if (ext == ".heic" || ext == ".heif" || ext == ".avif")
    return RunQuietly("heif-enc -q 90 " + options + " -o " + ShellQuoted(target) + " " +
                      ShellQuoted(source));
  if (ext == ".webp")
    return RunQuietly("cwebp -quiet -lossless -exact -metadata all " + options + " " +
                      ShellQuoted(source) + " -o " + ShellQuoted(target));
  return RunQuietly("convert " + ShellQuoted(source) + " " + options + " " + ShellQuoted(target));
}

// Test programs run side by side: each takes a random name of its own.
TempDir::TempDir() {
  static const std::uint64_t program = std::random_device{}() * 0x9E3779B97F4A7C15ull;
  static std::atomic<int> counter{0};
  path_ = fs::temp_directory_path() /
          ("tavren-test-" + std::to_string(program % 1000000007) + "-" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  // Folders made read-only by a test must become writable again to go.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

}  // namespace tavren::test
