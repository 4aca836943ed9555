// velmora-pst: look into a .pst file and check it.
#include <iostream>
#include <string>
#include <vector>

#include "cli/pst_inspect.h"
#include "cli/verify_run.h"
#include "fsutil/program_text.h"
#include "velmora_version.h"

namespace {

constexpr const char* kUsage =
    "Usage: velmora-pst COMMAND [--wait] FILE.pst [FOLDER]\n"
    "       velmora-pst verify [--wait] [--json] SOURCE_FOLDER FILE.pst\n"
    "\n"
    "Commands:\n"
    "  ls FILE.pst             print the folder tree with message counts\n"
    "  check FILE.pst          verify the file (checksums, signatures, B-trees, reference counts, space "
    "maps,\n"
    "                          tables against the objects they list); exit 0 only when it is sound\n"
    "  dump FILE.pst [FOLDER]  print the messages (of FOLDER and below, e.g. \"Inbox/Projects\") with their\n"
    "                          main properties\n"
    "  verify [--json] SOURCE_FOLDER FILE.pst\n"
    "                          read the .eml files of the exported mailbox folder again and compare each\n"
    "                          with its message in FILE.pst (folder, subject, sender, recipients, times,\n"
    "                          Message-ID, bodies, attachments' sizes and SHA-256, attached messages);\n"
    "                          lists each difference with its file and field, and files added to or\n"
    "                          removed from the folder since the conversion; changes nothing\n"
    "\n"
    "Options:\n"
    "  --wait                  while a conversion is writing FILE.pst, wait for it to finish (without it,\n"
    "                          the command ends at once saying the file is being written)\n"
    "  --help, -h              this text\n"
    "  --version               the program's version\n"
    "\n"
    "Exit status: 0 done or sound, 1 problems found, 2 the file cannot be read or the arguments are wrong.\n";

}  // namespace

int main(int argc, char** argv_native) {
  velmora::fsutil::Utf8Console();
  const std::vector<std::string> argv = velmora::fsutil::Utf8Arguments(argc, argv_native);
  argc = static_cast<int>(argv.size());
  if (argc >= 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (argc >= 2 && std::string(argv[1]) == "--version") {
    std::cout << "velmora-pst " << velmora::kVersion << "\n";
    return 0;
  }
  // --wait may stand anywhere after the command.
  std::vector<std::string> args;
  bool wait = false;
  for (int i = 1; i < argc; ++i) {
    if (i > 1 && std::string(argv[i]) == "--wait") {
      wait = true;
    } else {
      args.push_back(argv[i]);
    }
  }
  const size_t n = args.size();
  if (n < 2) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string& command = args[0];
  if (command == "verify") {
    const bool json = n == 4 && args[1] == "--json";
    if (n == 3 || json)
      return velmora::cli::VerifyFolder(args[n - 2], args[n - 1], json, std::cout, std::cerr, wait);
  }
  const std::string& path = args[1];
  if (command == "ls" && n == 2) return velmora::cli::ListFolders(path, std::cout, std::cerr, wait);
  if (command == "check" && n == 2) return velmora::cli::CheckStore(path, std::cout, std::cerr, wait);
  if (command == "dump" && n <= 3)
    return velmora::cli::DumpMessages(path, n == 3 ? args[2] : "", std::cout, std::cerr, wait);
  std::cerr << "velmora-pst: unknown command or wrong arguments: " << command << "\n\n" << kUsage;
  return 2;
}
