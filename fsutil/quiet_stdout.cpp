// Descriptor 1 is pointed at the null device and back with dup2: POSIX, and the C runtime's own
// descriptors on Windows (io.h), whose standard output is descriptor 1 too.
#include "fsutil/quiet_stdout.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>

namespace velmora::fsutil {
namespace {

constexpr int kStdout = 1;

int OpenNullDevice() {
#ifdef _WIN32
  return _open("NUL", _O_WRONLY | _O_NOINHERIT);
#else
  return ::open("/dev/null", O_WRONLY | O_CLOEXEC);
#endif
}

}  // namespace

std::mutex& QuietStdout::Mutex() {
  static std::mutex m;
  return m;
}

QuietStdout::QuietStdout() : lock_(Mutex()) {
  std::fflush(stdout);
  saved_ = ::dup(kStdout);
  const int null = OpenNullDevice();
  if (saved_ >= 0 && null >= 0) ::dup2(null, kStdout);
  if (null >= 0) ::close(null);
}

QuietStdout::~QuietStdout() {
  std::fflush(stdout);
  if (saved_ >= 0) {
    ::dup2(saved_, kStdout);
    ::close(saved_);
  }
}

}  // namespace velmora::fsutil
