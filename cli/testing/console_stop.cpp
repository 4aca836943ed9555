// velmora-console-stop: sends a program the console event a user's Ctrl+C or Ctrl+Break sends, so that the
// Windows stop of velmora-convert can be checked from a script. Windows only; a test tool, never installed.
//
// Usage: velmora-console-stop ctrl-c|ctrl-break WAIT_FOR PROGRAM [ARGUMENT...]
//   Starts PROGRAM on a console of its own with this tool's standard handles, waits until the file WAIT_FOR
//   exists and half a second more, sends the event and waits for PROGRAM to end. Exit status: PROGRAM's; 124 when it did not end in time
//   (it is ended then), 125 when the event could not be sent, 2 for a usage error.
//
// The event goes to every process of the console, as a key pressed in the console window does: PROGRAM and
// this tool, which lets it pass. (Ctrl+C cannot go to a process group of its own: a new group starts with
// Ctrl+C ignored; Wine sends neither event to one group alone.)
#include <windows.h>
// windows.h first
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

constexpr DWORD kWaitForFileMs = 120000;
constexpr DWORD kWaitForEndMs = 300000;
constexpr DWORD kRunningMs = 500;

// One argument as CommandLineToArgvW reads it back: in quotes, with the backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

BOOL WINAPI LetPass(DWORD) {
  return TRUE;
}

int Usage() {
  std::fputs("usage: velmora-console-stop ctrl-c|ctrl-break WAIT_FOR PROGRAM [ARGUMENT...]\n", stderr);
  return 2;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 4) return Usage();
  const std::wstring kind = argv[1];
  const bool ctrl_break = kind == L"ctrl-break";
  if (!ctrl_break && kind != L"ctrl-c") return Usage();
  const std::wstring wait_for = argv[2];
  std::wstring command;
  for (int i = 3; i < argc; ++i) command += (i > 3 ? L" " : L"") + Quoted(argv[i]);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  // A console of our own, shared with the program: the events travel through it, and one started from a
  // pipe or a file (a script, Wine from a shell) may have none that carries them.
  FreeConsole();
  if (!AllocConsole()) {
    std::fprintf(stderr, "velmora-console-stop: no console (error %lu)\n", GetLastError());
    return 2;
  }
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "velmora-console-stop: cannot start the program (error %lu)\n", GetLastError());
    return 2;
  }
  SetConsoleCtrlHandler(LetPass, TRUE);

  for (DWORD waited = 0; GetFileAttributesW(wait_for.c_str()) == INVALID_FILE_ATTRIBUTES; waited += 10) {
    if (waited >= kWaitForFileMs || WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) {
      std::fputs("velmora-console-stop: the file to wait for did not come\n", stderr);
      break;
    }
  }
  Sleep(kRunningMs);  // the run under way, past its first commit
  int status = 0;
  if (!GenerateConsoleCtrlEvent(ctrl_break ? CTRL_BREAK_EVENT : CTRL_C_EVENT, 0)) {
    std::fprintf(stderr, "velmora-console-stop: the event was not sent (error %lu)\n", GetLastError());
    status = 125;
  }
  if (WaitForSingleObject(process.hProcess, kWaitForEndMs) != WAIT_OBJECT_0) {
    std::fputs("velmora-console-stop: the program did not end; ending it\n", stderr);
    TerminateProcess(process.hProcess, 124);
    WaitForSingleObject(process.hProcess, INFINITE);
    return 124;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  return status != 0 ? status : static_cast<int>(code);
}
