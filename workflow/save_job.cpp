#include "workflow/save_job.h"

#include <memory>

#include "jpeg_export/jpeg_export.h"
#include "workflow/process_engine.h"
#include "workflow/status_text.h"

namespace tavren {

TSaveJob::TSaveJob(const TProcessEngine& engine, std::string target, std::string source)
    : engine_(engine), target_(std::move(target)), source_(std::move(source)) {}

void TSaveJob::Run(const std::function<void(int stage)>& progress) {
  try {
    progress(0);
    const std::unique_ptr<Image> saved = engine_.ResultForSave();
    if (!ImageHasPixels(saved.get())) {
      failure_ = "there is no picture to save";
    } else {
      progress(1);
      SaveJpegWithExif(*saved, target_, source_);
    }
  } catch (const std::exception& error) {
    failure_ = ReasonOf(error);
  }
  progress(kStages);
}

}  // namespace tavren
