// The requests from outside to stop a run: Ctrl+C, a request to terminate, and the end of the terminal or
// session. Each becomes the same confirmed stop; the program then saves what it converted and reports.
//
// POSIX: sigaction for SIGINT, SIGTERM and SIGHUP (posix_stop_signals.cpp). Windows: SetConsoleCtrlHandler
// for Ctrl+C and Ctrl+Break, the console window closing, log-off and shutdown (win32_stop_signals.cpp); the
// system ends the process a few seconds after a close, log-off or shutdown event, so the handler holds the
// event until then while the run saves.
#pragma once

namespace velmora::fsutil {

// The kinds of stop, numbered as the POSIX signals that stand for them (the command-line tool exits with
// 128 + this number, as shells report a signal).
inline constexpr int kStopHangup = 1;      // SIGHUP; on Windows the console closed
inline constexpr int kStopInterrupt = 2;   // SIGINT; Ctrl+C or Ctrl+Break
inline constexpr int kStopTerminate = 15;  // SIGTERM; on Windows log-off or shutdown

// Starts listening. The first request is recorded; a second one of any kind ends the process at once (the
// store file keeps its last commit).
void WatchStopSignals();

// The kind of the first stop request, 0 before one.
int StopRequest();

}  // namespace velmora::fsutil
