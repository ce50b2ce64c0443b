// The one exception type of intake and output: a file and a reason.
#pragma once

#include <stdexcept>
#include <string>

namespace tavren {

class TavrenError : public std::runtime_error {
 public:
  TavrenError(std::string file, std::string reason)
      : std::runtime_error(file.empty() ? reason : file + ": " + reason),
        file_(std::move(file)),
        reason_(std::move(reason)) {}

  const std::string& file() const { return file_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string file_;
  std::string reason_;
};

}  // namespace tavren
