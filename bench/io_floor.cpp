// The I/O floor of a conversion: reads every .eml file below SRC (in the order the directory walk gives) and
// writes their bytes into one file OUT, then flushes it to the page cache as the converter's own writes are.
// Nothing is parsed; what is left of a conversion's time above this is the converter's own work.
//
//   io_floor SRC OUT        prints "<files> files, <bytes> bytes"
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: io_floor SRC OUT\n");
    return 2;
  }
  const int out = ::open(argv[2], O_CREAT | O_TRUNC | O_WRONLY, 0644);
  if (out < 0) {
    std::perror(argv[2]);
    return 1;
  }
  // 64 KiB reads: whole small messages in one call, large attachments in pieces.
  std::vector<char> buf(1 << 16);
  unsigned long long files = 0, bytes = 0;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(argv[1], ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file() || it->path().extension() != ".eml") continue;
    const int in = ::open(it->path().c_str(), O_RDONLY);
    if (in < 0) {
      std::perror(it->path().c_str());
      return 1;
    }
    ssize_t n;
    while ((n = ::read(in, buf.data(), buf.size())) > 0) {
      if (::write(out, buf.data(), static_cast<size_t>(n)) != n) {
        std::perror(argv[2]);
        return 1;
      }
      bytes += static_cast<unsigned long long>(n);
    }
    ::close(in);
    ++files;
  }
  if (ec) {
    std::fprintf(stderr, "io_floor: %s: %s\n", argv[1], ec.message().c_str());
    return 1;
  }
  ::close(out);
  std::printf("%llu files, %llu bytes\n", files, bytes);
  return 0;
}
