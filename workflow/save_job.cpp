#include "workflow/save_job.h"

#include <memory>

#include "workflow/process_engine.h"
#include "workflow/status_text.h"

namespace tavren {

TSaveJob::TSaveJob(const TProcessEngine& engine, std::string target, std::string source,
                   TMetadataCarryOver carryOver)
    : engine_(engine),
      target_(std::move(target)),
      source_(std::move(source)),
      carryOver_(carryOver) {}

TSaveJob::TSaveJob(const TProcessEngine& engine, TTake take)
    : engine_(engine), take_(std::move(take)) {}

void TSaveJob::Run(const std::function<void(int stage)>& progress) {
  try {
    progress(0);
    const std::shared_ptr<const Image> saved = engine_.PictureToSave();
    if (!ImageHasPixels(saved.get())) {
      failure_ = "there is no picture to save";
    } else {
      progress(1);
      Deliver(*saved);
    }
  } catch (const std::exception& error) {
    failure_ = ReasonOf(error);
  }
  progress(kStages);
}

void TSaveJob::Deliver(const Image& picture) {
  if (take_) {
    take_(picture);
    return;
  }
  metadataNotKept_ = SaveJpegWithExif(picture, target_, source_, carryOver_).MetadataNotKept;
}

}  // namespace tavren
