// The POSIX implementation of stop_signals.h.
#include <signal.h>

#include <csignal>
#include <cstring>

#include "fsutil/stop_signals.h"

namespace velmora::fsutil {
namespace {

volatile std::sig_atomic_t g_request = 0;

void OnStopSignal(int signal_number) {
  g_request = signal_number;
}

static_assert(SIGHUP == kStopHangup && SIGINT == kStopInterrupt && SIGTERM == kStopTerminate);

}  // namespace

void WatchStopSignals() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnStopSignal;
  sa.sa_flags = SA_RESETHAND;  // a second signal ends the process; the file keeps its last commit
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);  // the terminal closed: stop and report as for SIGTERM
}

int StopRequest() {
  return g_request;
}

}  // namespace velmora::fsutil
