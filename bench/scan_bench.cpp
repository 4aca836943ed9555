// Times ScanSourceFolder over one folder of many empty files, with the recording host taking every count
// line, and checks the last count line. Usage: scan_bench [file count] (default 100,000).
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/engine.h"
#include "engine/run_state.h"
#include "engine/source_scan.h"
#include "engine/testing/recording_host.h"
#include "fsutil/testing/temp_tree.h"

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  namespace engine = velmora::engine;
  const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100'000;
  if (count < 1) {
    std::fprintf(stderr, "usage: scan_bench [file count >= 1]\n");
    return 2;
  }

  velmora::fsutil::testing::TempTree tree;
  const std::string folder = tree.Folder("Mailbox");
  const auto made = Clock::now();
  for (long i = 0; i < count; ++i) {
    const std::string path = folder + "/" + std::to_string(i) + ".eml";
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0) {
      std::perror(path.c_str());
      return 1;
    }
    ::close(fd);
  }
  const double make_s = std::chrono::duration<double>(Clock::now() - made).count();

  engine::testing::RecordingHost host;
  engine::RunState state;
  engine::Engine eng(host, state);
  eng.source_path = folder;
  eng.file_pattern = "*.*";
  eng.next_file_number = 1;
  const auto start = Clock::now();
  engine::ScanSourceFolder(eng);
  const double scan_s = std::chrono::duration<double>(Clock::now() - start).count();

  const std::string expected = std::to_string(count) + engine::kQueuedSuffix;
  const std::string& line = host.Text(engine::StatusLine::kCountLine);
  const bool ok =
      line == expected && state.QueuedFiles && state.QueuedFiles->Count() == static_cast<size_t>(count);
  std::printf(
      "files: %ld (made in %.2f s)\nscan: %.3f s (%.1f us per file), %lld yields, %zu recorded lines\n",
      count, make_s, scan_s, scan_s * 1e6 / static_cast<double>(count), static_cast<long long>(host.yields),
      host.lines.size());
  std::printf("count line: \"%s\" %s\n", line.c_str(), ok ? "(as expected)" : "(WRONG)");
  return ok ? 0 : 1;
}
