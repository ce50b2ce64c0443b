// How long the window takes to save a 12-megapixel picture as Deep (the
// type recomputed at full size, encoded and written, while the window
// keeps painting), against `tavren enhance --type deep` of the same file
// (which decodes it too).  Both must write the same bytes.
//   window_save TAVREN [PICTURE] [ROUNDS]
// TAVREN is the command-line program; without PICTURE a smooth 4000 x 3000
// photo-like picture is made.  Prints each round and the medians' ratio.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/window_bench.h"
#include "jpeg_export/jpeg_encoder.h"
#include "system/file_bytes.h"
#include "system/file_replace.h"
#include "workflow/fixed_texts.h"

namespace {

using bench::Median;

void WritePhoto(const std::string& path) {
  tavren::Image picture(4000, 3000);
  for (std::int32_t y = 0; y < picture.Height(); ++y) {
    std::uint8_t* row = picture.Row(y);
    for (std::int32_t x = 0; x < picture.Width(); ++x) {
      row[3 * x] = static_cast<std::uint8_t>(40 + x / 32 + (x * y) % 7);
      row[3 * x + 1] = static_cast<std::uint8_t>(60 + y / 24 + (x + y) % 5);
      row[3 * x + 2] = static_cast<std::uint8_t>(30 + (x + y) / 40);
    }
  }
  const std::vector<std::uint8_t> bytes = tavren::EncodeJpeg(picture);
  tavren::ReplaceFileContents(path, bytes.data(), bytes.size());
}

double TimeWindowSave(const std::string& picture, const std::string& target) {
  bench::TBenchWindow bench("window_save");
  bench.Show();
  tavren::TfrmMain& window = bench.Window;
  window.OpenImage(picture, false);
  window.SelectType(tavren::ptDeep);
  QElapsedTimer clock;
  clock.start();
  window.SaveImage(target);
  return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

double TimeCommandLine(const QString& tavren, const std::string& picture,
                       const std::string& target) {
  QElapsedTimer clock;
  clock.start();
  const int status =
      QProcess::execute(tavren, {"enhance", "--type", "deep", "--force", "-o",
                                 QString::fromStdString(target), QString::fromStdString(picture)});
  const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  if (status != 0) std::fprintf(stderr, "window_save: tavren ended with %d\n", status);
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  bench::OffscreenWithoutDisplay();
  QApplication application(argc, argv);
  if (argc < 2) return bench::Usage("window_save TAVREN [PICTURE] [ROUNDS]");
  tavren::DecodeFixedTexts();
  QTemporaryDir folder;
  const QString tavren = QString::fromLocal8Bit(argv[1]);
  const std::string picture = argc > 2 ? argv[2] : folder.filePath("photo.jpg").toStdString();
  if (argc <= 2) WritePhoto(picture);
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  const std::string fromWindow = folder.filePath("window.jpg").toStdString();
  const std::string fromCommand = folder.filePath("command.jpg").toStdString();

  std::vector<double> window;
  std::vector<double> command;
  for (int round = 0; round < rounds; ++round) {
    window.push_back(TimeWindowSave(picture, fromWindow));
    command.push_back(TimeCommandLine(tavren, picture, fromCommand));
    std::printf("round %d: window save %.0f ms, tavren enhance %.0f ms\n", round + 1, window.back(),
                command.back());
  }
  const bool same = tavren::ReadFileBytes(fromWindow) == tavren::ReadFileBytes(fromCommand);
  std::printf("median: window save %.0f ms, tavren enhance %.0f ms, ratio %.2f; bytes %s\n",
              Median(window), Median(command), Median(window) / Median(command),
              same ? "the same" : "DIFFER");
  return same ? 0 : 1;
}
