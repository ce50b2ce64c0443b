#include "cli/run.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <thread>

#include "enhance/base_image.h"
#include "picture_io/error.h"
#include "picture_io/jpeg_export.h"
#include "picture_io/picture_files.h"
#include "picture_io/picture_metadata.h"

namespace tavren::cli {

namespace fs = std::filesystem;

namespace {

// One picture of the batch: where its result goes, and what went wrong.
struct TJob {
  std::string picture;
  std::string output;
  std::string failure;  // "FILE: reason", empty while all is well
};

// Runs work, turning every error into "FILE: reason" (FILE defaults to
// fallbackFile when the error names none).
template <typename Work>
std::string FailureOf(const std::string& fallbackFile, Work&& work) {
  try {
    work();
    return {};
  } catch (const TavrenError& e) {
    return (e.file().empty() ? fallbackFile : e.file()) + ": " + e.reason();
  } catch (const std::bad_alloc&) {
    return fallbackFile + ": not enough memory";
  } catch (const std::exception& e) {
    return fallbackFile + ": " + e.what();
  }
}

// A name to compare file names by: absolute, normalised, with the links of
// its existing part resolved.
std::string ComparableName(const std::string& path) {
  std::error_code ec;
  fs::path full = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) full = fs::absolute(path, ec).lexically_normal();
  return full.string();
}

// Two pictures must not write the same file, and no picture may replace
// another picture of the same batch before that one is read.
void PlanOutputs(const TCliOptions& options, std::vector<TJob>& jobs) {
  std::map<std::string, std::size_t> inputs;
  for (std::size_t i = 0; i < jobs.size(); ++i) inputs.emplace(ComparableName(jobs[i].picture), i);
  std::map<std::string, std::size_t> outputs;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    TJob& job = jobs[i];
    job.output = OutputPathFor(options, job.picture);
    const std::string name = ComparableName(job.output);
    const auto input = inputs.find(name);
    if (input != inputs.end() && input->second != i) {
      job.failure = job.output + ": is also a picture to enhance; not overwritten";
    } else if (!outputs.emplace(name, i).second) {
      job.failure = job.output + ": also the output of " + jobs[outputs[name]].picture;
    }
  }
}

void EnhanceOne(const TCliOptions& options, const TJob& job) {
  std::error_code ec;
  if (!options.force && fs::exists(fs::symlink_status(job.output, ec)))
    throw TavrenError(job.output, "already exists (use --force to replace it)");
  Image picture = LoadPicture(job.picture);
  if (options.fit) {
    TBaseImage base = MakeBaseImage(picture, options.fitHeight, options.fitWidth);
    if (base.image != nullptr) picture = std::move(*base.image);
  }
  ProcessWithPreset(picture, options.Preset());
  if (OutputKindOf(job.output) == TOutputKind::Bmp)
    WriteBmpFile(picture, job.output);
  else
    SaveJpegWithExif(picture, job.output, job.picture);
}

// Reports on stderr: failures always, progress only on a terminal.
class Reporter {
 public:
  explicit Reporter(std::size_t total) : total_(total), terminal_(isatty(STDERR_FILENO) != 0) {}

  void Finished(const TJob& job) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    if (!job.failure.empty())
      std::fprintf(stderr, "tavren: %s\n", job.failure.c_str());
    else if (terminal_)
      std::fprintf(stderr, "[%zu/%zu] %s -> %s\n", done_, total_, job.picture.c_str(),
                   job.output.c_str());
  }

 private:
  std::mutex mutex_;
  std::size_t done_ = 0;
  const std::size_t total_;
  const bool terminal_;
};

// Calls work(i) for i in 0..count-1 on up to `threads` threads at once.
template <typename Work>
void ForEachJob(std::size_t count, int threads, Work&& work) {
  std::atomic<std::size_t> next{0};
  auto worker = [&] {
    for (std::size_t i = next++; i < count; i = next++) work(i);
  };
  const std::size_t extra = std::min<std::size_t>(static_cast<std::size_t>(threads), count);
  std::vector<std::thread> helpers;
  for (std::size_t t = 1; t < extra; ++t) helpers.emplace_back(worker);
  worker();
  for (std::thread& helper : helpers) helper.join();
}

// Camera texts come from the file: control bytes are shown as '?' so that
// no text can drive the terminal.
std::string Printable(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

bool AnyFailed(const std::vector<TJob>& jobs) {
  return std::any_of(jobs.begin(), jobs.end(), [](const TJob& job) { return !job.failure.empty(); });
}

}  // namespace

int RunEnhance(const TCliOptions& options) {
  std::vector<TJob> jobs;
  for (const std::string& picture : options.pictures) jobs.push_back({picture, {}, {}});
  PlanOutputs(options, jobs);
  Reporter reporter(jobs.size());
  ForEachJob(jobs.size(), options.jobs, [&](std::size_t i) {
    TJob& job = jobs[i];
    if (job.failure.empty())
      job.failure = FailureOf(job.picture, [&] { EnhanceOne(options, job); });
    reporter.Finished(job);
  });
  return AnyFailed(jobs) ? 1 : 0;
}

int RunInfo(const TCliOptions& options) {
  bool failed = false;
  for (const std::string& path : options.pictures) {
    std::int32_t width = 0;
    std::int32_t height = 0;
    TSourceMetadata metadata;
    const std::string failure = FailureOf(path, [&] {
      const Image picture = LoadPicture(path);
      width = picture.Width();
      height = picture.Height();
      metadata = ReadSourceMetadata(path);
    });
    if (!failure.empty()) {
      std::fprintf(stderr, "tavren: %s\n", failure.c_str());
      failed = true;
      continue;
    }
    std::printf("%s: %d x %d, make \"%s\", model \"%s\"\n", path.c_str(), width, height,
                Printable(metadata.Make).c_str(), Printable(metadata.Model).c_str());
  }
  return failed ? 1 : 0;
}

}  // namespace tavren::cli
