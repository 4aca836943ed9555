// An export folder tree spelled by arbitrary bytes (which folder goes below which, named from a pool that
// holds the names the folder rules treat specially), written to a temporary folder, converted by the whole
// engine and compared with its source: any crash, folder not made, message lost or folder out of place traps.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

#include "engine/testing/folder_tree_trial.h"

namespace {

std::string WorkDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "fuzz-tree-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) __builtin_trap();
  return tmpl + "/w";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string work = WorkDir();
  const auto tree = velmora::engine::testing::TreeFromBytes(std::span<const uint8_t>(data, size));
  const std::string problems = velmora::engine::testing::ConvertAndCompare(tree, work);
  if (!problems.empty()) {
    std::fprintf(stderr, "%s", problems.c_str());
    __builtin_trap();
  }
  return 0;
}
