#include "cli/run.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>

#include "cli/visible_text.h"
#include "enhance/base_image.h"
#include "imaging/thread_pool.h"
#include "jpeg_export/jpeg_encoder.h"
#include "jpeg_export/jpeg_export.h"
#include "picture_io/bmp_codec.h"
#include "picture_io/folder_pictures.h"
#include "picture_io/picture_files.h"
#include "picture_io/picture_formats.h"
#include "picture_io/picture_metadata.h"
#include "system/console.h"
#include "system/error.h"
#include "system/file_bytes.h"
#include "system/file_names.h"
#include "system/file_replace.h"

namespace tavren::cli {

namespace fs = std::filesystem;

namespace {

// Every message goes out through here: names and reasons come from the
// user's files, so their control characters are shown, not obeyed.
void SayFailure(const std::string& failure) {
  std::fprintf(stderr, "tavren: %s\n", VisibleText(failure).c_str());
}

// One picture of the batch: where its result goes, and what went wrong.
struct TJob {
  std::string Picture;
  std::string Output;
  std::string Failure;  // "FILE: reason", empty while all is well
  std::string Warning;  // "FILE: what was not done", for a picture that succeeded
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

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(PathOf(path), ec);
}

// The pictures the arguments stand for: a folder for the picture files
// directly in it, in the window's order; anything else for itself.  A
// folder without pictures is a failure of its own.
std::vector<std::string> ExpandArguments(const std::vector<std::string>& arguments,
                                         std::vector<std::string>& failures) {
  std::vector<std::string> pictures;
  for (const std::string& argument : arguments) {
    if (!IsFolder(argument)) {
      pictures.push_back(argument);
      continue;
    }
    std::size_t found = 0;
    for (const std::string& name : PictureNamesInFolder(argument + "/")) {
      const std::string path = JoinPath(argument, name);
      if (IsFolder(path)) continue;
      pictures.push_back(path);
      ++found;
    }
    if (found == 0)
      failures.push_back(argument + ": is a folder with no pictures in it (no file ending in " +
                         OpenableExtensionsText() + ")");
  }
  return pictures;
}

// A name to compare file names by: absolute, normalised, with the links of
// its existing part resolved.
std::string ComparableName(const std::string& path) {
  std::error_code ec;
  fs::path full = fs::weakly_canonical(fs::absolute(PathOf(path), ec), ec);
  if (ec) full = fs::absolute(PathOf(path), ec).lexically_normal();
  // Where the file system ignores letter case, so do the names compared.
  return FileNamesIgnoreCase() ? AsciiLower(TextOf(full)) : TextOf(full);
}

// Two pictures must not write the same file, and no picture may replace
// another picture of the same batch before that one is read: the later
// picture is skipped, and its message says so.
void PlanOutputs(const TCliOptions& options, std::vector<TJob>& jobs) {
  std::map<std::string, std::size_t> inputs;
  for (std::size_t i = 0; i < jobs.size(); ++i) inputs.emplace(ComparableName(jobs[i].Picture), i);
  std::map<std::string, std::size_t> outputs;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    TJob& job = jobs[i];
    job.Output = OutputPathFor(options, job.Picture);
    const std::string name = ComparableName(job.Output);
    const auto input = inputs.find(name);
    if (input != inputs.end() && input->second != i) {
      job.Failure = job.Picture + ": skipped: its output " + job.Output +
                    " is a picture this run also enhances";
    } else if (!outputs.emplace(name, i).second) {
      job.Failure = job.Picture + ": skipped: its output " + job.Output +
                    " is also the output of " + jobs[outputs[name]].Picture;
    }
  }
}

// The output folder exists (made with its parents when missing) and takes
// new files; otherwise the reason.
std::string PrepareOutputFolder(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(PathOf(folder), ec);
  if (ec) return folder + ": cannot make the output folder (" + ec.message() + ")";
  if (!IsFolder(folder)) return folder + ": is not a folder";
  if (const int error = FolderWriteError(folder))
    return folder + ": cannot write into the output folder (" + SystemErrorText(error) + ")";
  return {};
}

// What can be known before the picture is decoded: the output may be
// written, and the result fits its format.
void CheckBeforeTheWork(const TCliOptions& options, const TJob& job) {
  std::error_code ec;
  const fs::file_status target = fs::symlink_status(PathOf(job.Output), ec);
  if (fs::exists(target)) {
    if (!options.Force) throw TavrenError(job.Output, "already exists (use --force to replace it)");
    const fs::file_status followed = fs::status(PathOf(job.Output), ec);
    if (fs::exists(followed) && !fs::is_regular_file(followed))
      throw TavrenError(job.Output, "is not a regular file; only a file is replaced");
  }
  const std::string folder = TextOf(PathOf(job.Output).parent_path());
  if (const int error = FolderWriteError(folder))
    throw TavrenError(job.Output,
                      std::string("cannot write into its folder (") + SystemErrorText(error) + ")");
  const TPictureSize size = ReadPictureSize(job.Picture);
  std::int32_t width = size.Width;
  std::int32_t height = size.Height;
  if (options.Fit)
    BaseImageSize(size.Width, size.Height, options.FitHeight, options.FitWidth, width, height);
  const std::string result = std::to_string(width) + " x " + std::to_string(height) + " pixels";
  if (OutputKindOf(job.Output) == TOutputKind::Jpeg &&
      (width > kJpegMaxSide || height > kJpegMaxSide))
    throw TavrenError(job.Picture, "the result would be " + result + ", and a JPEG file holds " +
                                       std::to_string(kJpegMaxSide) +
                                       " pixels a side at most (use --fit or a .bmp output)");
  if (OutputKindOf(job.Output) == TOutputKind::Bmp && !BmpCanHold(width, height))
    throw TavrenError(job.Picture, "the result would be " + result +
                                       ", too large for a BMP file (use --fit or a .jpg output)");
}

void EnhanceOne(const TCliOptions& options, TJob& job) {
  CheckBeforeTheWork(options, job);
  TLoadedPicture loaded = LoadPictureToProcess(job.Picture);
  if (options.Fit) {
    TBaseImage base = MakeBaseImage(loaded.Picture, options.FitHeight, options.FitWidth);
    if (base.Picture != nullptr) loaded = {std::move(*base.Picture), false, {}};
  }
  ProcessWithPreset(loaded, options.Preset());
  const Image& picture = loaded.Picture;
  if (OutputKindOf(job.Output) == TOutputKind::Bmp) {
    WriteBmpFile(picture, job.Output);
    return;
  }
  const TMetadataCarryOver carryOver =
      options.KeepMetadata ? TMetadataCarryOver::Everything : TMetadataCarryOver::MakeAndModel;
  const TJpegSaveReport report = SaveJpegWithExif(picture, job.Output, job.Picture, carryOver);
  if (!report.MetadataNotKept.empty())
    job.Warning = job.Picture + ": metadata not kept: " + report.MetadataNotKept;
}

// Reports on stderr: failures always, progress ("k/N PICTURE") only on a
// terminal and without -q.
class Reporter {
 public:
  Reporter(std::size_t total, bool quiet)
      : total_(total), progress_(!quiet && StandardErrorIsTerminal()) {}

  void Finished(const TJob& job) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    if (!job.Warning.empty()) SayFailure(job.Warning);
    if (!job.Failure.empty())
      SayFailure(job.Failure);
    else if (progress_)
      std::fprintf(stderr, "%zu/%zu %s\n", done_, total_, VisibleText(job.Picture).c_str());
  }

 private:
  std::mutex mutex_;
  std::size_t done_ = 0;
  const std::size_t total_;
  const bool progress_;
};

// Calls work(i) for i in 0..count-1 on up to `threads` threads at once,
// the calling thread among them, in the order of i.
template <typename Work>
void ForEachJob(std::size_t count, int threads, Work&& work) {
  ThreadPool jobs(
      static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(threads), count)));
  jobs.Run(static_cast<int>(count), [&](int i) { work(static_cast<std::size_t>(i)); });
}

// The camera as a person reads it: its make and model in quotes, or that
// the file names none.
std::string CameraText(const TSourceMetadata& metadata) {
  if (metadata.Make.empty() && metadata.Model.empty()) return "no camera make or model";
  const auto named = [](const char* what, const std::string& value) {
    return value.empty() ? std::string("no ") + what
                         : std::string(what) + " \"" + VisibleText(value) + "\"";
  };
  return named("make", metadata.Make) + ", " + named("model", metadata.Model);
}

bool AnyFailed(const std::vector<TJob>& jobs) {
  return std::any_of(jobs.begin(), jobs.end(),
                     [](const TJob& job) { return !job.Failure.empty(); });
}

}  // namespace

int RunEnhance(const TCliOptions& options) {
  if (!options.OutputDir.empty()) {
    const std::string failure = PrepareOutputFolder(options.OutputDir);
    if (!failure.empty()) {
      SayFailure(failure);
      return 1;
    }
  }
  std::vector<std::string> failures;
  const std::vector<std::string> pictures = ExpandArguments(options.Pictures, failures);
  for (const std::string& failure : failures) SayFailure(failure);
  if (!options.OutputFile.empty() && pictures.size() > 1) {
    SayFailure(options.OutputFile + ": -o names one output, and the arguments hold " +
               std::to_string(pictures.size()) + " pictures (use --out-dir)");
    return 1;
  }
  std::vector<TJob> jobs;
  for (const std::string& picture : pictures) jobs.push_back({picture, {}, {}, {}});
  PlanOutputs(options, jobs);
  Reporter reporter(jobs.size(), options.Quiet);
  ForEachJob(jobs.size(), options.Jobs, [&](std::size_t i) {
    TJob& job = jobs[i];
    if (job.Failure.empty())
      job.Failure = FailureOf(job.Picture, [&] { EnhanceOne(options, job); });
    reporter.Finished(job);
  });
  return AnyFailed(jobs) || !failures.empty() ? 1 : 0;
}

int RunInfo(const TCliOptions& options) {
  std::vector<std::string> failures;
  const std::vector<std::string> pictures = ExpandArguments(options.Pictures, failures);
  for (const std::string& failure : failures) SayFailure(failure);
  bool failed = !failures.empty();
  for (const std::string& path : pictures) {
    TPictureSize size;
    TSourceMetadata metadata;
    const std::string failure = FailureOf(path, [&] {
      size = ReadPictureSize(path);
      metadata = ReadSourceMetadata(path);
    });
    if (!failure.empty()) {
      SayFailure(failure);
      failed = true;
      continue;
    }
    std::printf("%s: %d x %d, %s\n", VisibleText(path).c_str(), size.Width, size.Height,
                CameraText(metadata).c_str());
  }
  return failed ? 1 : 0;
}

}  // namespace tavren::cli
