// velmora-pst: look into a .pst file and check it.
#include <iostream>
#include <string>

#include "cli/pst_inspect.h"

namespace {

constexpr const char* kUsage =
    "Usage: velmora-pst COMMAND FILE.pst [FOLDER]\n"
    "\n"
    "Commands:\n"
    "  ls FILE.pst             print the folder tree with message counts\n"
    "  check FILE.pst          verify the file (checksums, signatures, B-trees, reference counts, space "
    "maps,\n"
    "                          tables against the objects they list); exit 0 only when it is sound\n"
    "  dump FILE.pst [FOLDER]  print the messages (of FOLDER and below, e.g. \"Inbox/Projects\") with their\n"
    "                          main properties\n"
    "\n"
    "Exit status: 0 done or sound, 1 problems found, 2 the file cannot be read or the arguments are wrong.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (argc >= 2 && std::string(argv[1]) == "--version") {
    std::cout << "velmora-pst 0.1.0\n";
    return 0;
  }
  if (argc < 3) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string command = argv[1];
  const std::string path = argv[2];
  if (command == "ls" && argc == 3) return velmora::cli::ListFolders(path, std::cout, std::cerr);
  if (command == "check" && argc == 3) return velmora::cli::CheckStore(path, std::cout, std::cerr);
  if (command == "dump" && argc <= 4)
    return velmora::cli::DumpMessages(path, argc == 4 ? argv[3] : "", std::cout, std::cerr);
  std::cerr << "velmora-pst: unknown command or wrong arguments: " << command << "\n\n" << kUsage;
  return 2;
}
