// The error policy of a mailbox conversion once its store is open: from the folder tree to the end of the
// import, a failing step is skipped and the next step runs. Each step goes through Run(); an error it raises
// is swallowed and kept, so the one place that looks at a failure — the parent lookup of the folder tree,
// which needs the name of the missing folder — can read it. Clear() forgets it, as at the start of each
// folder entry.
//
// Only the engine's own error type (Error, which the object layer raises for every failure it expects) is a
// failed step. Anything else (bad_alloc, out_of_range, a logic error) is a fault of the program, not of a
// step: it passes on to the caller of the run, which reports it, instead of becoming "step failed".
#pragma once

#include <optional>
#include <string>

#include "engine/errors.h"

namespace velmora::engine {

class ResumeNext {
 public:
  // Runs `step`; returns false (and keeps the error) when it raised one.
  template <class F>
  bool Run(F&& step) {
    try {
      step();
      return true;
    } catch (const Error& e) {
      Keep(e.number(), e.description());
      missing_path_ = e.missing_path();
    }
    return false;
  }

  bool failed() const { return failed_; }
  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  // The folder that a failed folder lookup did not find (rdo::Error::FolderNotFound).
  const std::optional<std::string>& missing_path() const { return missing_path_; }
  void Clear() {
    failed_ = false;
    number_ = 0;
    description_.clear();
    missing_path_.reset();
  }

 private:
  void Keep(int32_t number, const std::string& description) {
    failed_ = true;
    number_ = number;
    description_ = description;
    missing_path_.reset();
  }
  bool failed_ = false;
  int32_t number_ = 0;
  std::string description_;
  std::optional<std::string> missing_path_;
};

}  // namespace velmora::engine
