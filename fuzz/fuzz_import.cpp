// Arbitrary bytes as an .eml file, imported through the object API exactly as the engine does it (Items.Add,
// Import with format 1024, HrSetOneProp of the flags, Save) into a store on a temporary file, and read back.
// Every 64 inputs the session logs off and the file is checked: the node database's format rules, the
// folder tree, and the contents rows and counts against the message PCs; any problem traps.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "pst/messaging/store_check.h"
#include "pst/ndb/check.h"
#include "pst/ndb/node_database.h"
#include "rdo/rdo_mail.h"
#include "rdo/rdo_session.h"

using namespace velmora;

namespace {

constexpr int kInputsPerStore = 64;  // enough messages that tables span blocks; small enough to check often

struct Harness {
  std::string dir;
  std::string pst;
  std::string eml;
  std::unique_ptr<rdo::RDOSession> session;
  std::shared_ptr<rdo::RDOFolder> folder;
  int inputs = 0;

  Harness() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "fuzz-import-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) __builtin_trap();
    dir = tmpl;
    pst = dir + "/fuzz.pst";
    eml = dir + "/input.eml";
  }

  void Open() {
    session = std::make_unique<rdo::RDOSession>();
    folder = session->LogonPstStore(pst, 1, "Fuzz")->IPMRootFolder()->Folders()->Add("Imported");
  }

  // Logs off, checks the file, and starts over with a new one.
  void CheckAndReset() {
    session->Logoff();
    folder.reset();
    session.reset();
    auto file = pst::OpenDiskFile(pst, pst::OpenMode::kReadOnly);
    if (!file.ok()) __builtin_trap();
    if (!pst::CheckFile(**file).ok()) __builtin_trap();
    auto db = pst::NodeDatabase::Open(std::shared_ptr<pst::File>(std::move(file).value()), false);
    if (!db.ok()) __builtin_trap();
    std::vector<std::string> problems;
    auto folders = pst::CheckFolderTree(**db, &problems);
    pst::CheckFolderContents(**db, folders, &problems);
    if (!problems.empty()) __builtin_trap();
    std::filesystem::remove(pst);
  }
};

void ReadAll(const pst::MessageContent& m) {
  std::vector<uint8_t> buf(4096);
  auto touch = [&](const pst::PropertyMap& props) {
    for (const auto& [id, value] : props) {
      uint64_t size = value.Size();
      for (uint64_t at = 0; value.stream && at < size; at += buf.size()) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - at));
        if (!value.stream->Read(at, std::span<uint8_t>(buf.data(), n)).ok()) __builtin_trap();
      }
    }
  };
  touch(m.props);
  for (const auto& r : m.recipients) touch(r.Props());
  for (const auto& a : m.attachments) {
    touch(a.props);
    if (a.embedded) ReadAll(*a.embedded);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Harness h;
  if (!h.session) h.Open();
  std::ofstream(h.eml, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  auto item = h.folder->Items()->Add(0);
  try {
    item->Import(h.eml, 1024);
  } catch (const rdo::Error&) {
    return 0;  // a file that does not import is reported, never saved
  }
  auto utils = rdo::CreateObjectAs<rdo::RDOMAPIUtils>("Redemption.MAPIUtils");
  utils->HrSetOneProp(item->MAPIOBJECT(), 0x0E070003u, static_cast<int32_t>(size % 2 ? 17 : 0), true);
  item->Save();
  // Read back what was stored, every value in full.
  auto stored = h.folder->Items();
  ReadAll(stored->Item(stored->Count())->MAPIOBJECT()->content());
  if (++h.inputs % kInputsPerStore == 0) h.CheckAndReset();
  return 0;
}
