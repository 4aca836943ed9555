// The Win32 implementation of stop_signals.h.
#include <windows.h>

#include <atomic>

#include "fsutil/stop_signals.h"

namespace velmora::fsutil {
namespace {

std::atomic<int> g_request{0};

// How long a close, log-off or shutdown event is held while the run saves: the system ends the process
// after about 5 seconds (20 at shutdown) whatever the handler does, and the run's end ends it sooner.
constexpr DWORD kHoldMilliseconds = 30000;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  int kind = kStopInterrupt;
  if (event == CTRL_CLOSE_EVENT) kind = kStopHangup;
  if (event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) kind = kStopTerminate;
  int none = 0;
  if (!g_request.compare_exchange_strong(none, kind)) return FALSE;  // a second request: the default ends us
  if (kind != kStopInterrupt) Sleep(kHoldMilliseconds);
  return TRUE;
}

}  // namespace

void WatchStopSignals() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int StopRequest() {
  return g_request.load();
}

}  // namespace velmora::fsutil
