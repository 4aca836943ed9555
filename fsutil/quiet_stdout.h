// Standard output sent to the null device while an object of this class lives (a library that prints
// what it should report), one such silence at a time in the process.
#pragma once

#include <mutex>

namespace velmora::fsutil {

class QuietStdout {
 public:
  QuietStdout();
  ~QuietStdout();
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  static std::mutex& Mutex();
  std::lock_guard<std::mutex> lock_;
  int saved_ = -1;  // a duplicate of the descriptor standard output had
};

}  // namespace velmora::fsutil
