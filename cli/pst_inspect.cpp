#include "cli/pst_inspect.h"

#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "fsutil/now.h"
#include "pst/messaging/message/message_reader.h"
#include "pst/messaging/message_store.h"
#include "pst/messaging/node_io.h"
#include "pst/messaging/store_check.h"
#include "pst/ndb/check.h"
#include "pst/ndb/node_database.h"
#include "pst/tags/prop_tags.h"

namespace velmora::cli {

namespace {

using pst::Hex;
using pst::Nid;
namespace ids = pst::ids;

struct OpenStore {
  std::unique_ptr<pst::NodeDatabase> db;
  std::unique_ptr<pst::MessageStore> store;
};

// Opens read-only: inspecting a file never writes to it.
bool Open(const std::string& path, OpenStore& s, std::ostream& err, bool wait) {
  auto file = pst::OpenDiskFileShared(path, wait);
  if (!file.ok()) {
    err << "velmora-pst: cannot open " << path << ": " << file.status().message() << "\n";
    return false;
  }
  auto db = pst::NodeDatabase::Open(std::shared_ptr<pst::File>(std::move(file).value()), /*writable=*/false);
  if (!db.ok()) {
    err << "velmora-pst: " << path << " is not a readable PST file: " << db.status().ToString() << "\n";
    return false;
  }
  s.db = std::move(db).value();
  auto store = pst::MessageStore::Open(*s.db);
  if (!store.ok()) {
    err << "velmora-pst: " << path << ": the message store cannot be read: " << store.status().ToString()
        << "\n";
    return false;
  }
  s.store = std::move(store).value();
  return true;
}

// Walks the folder tree below `start`, depth first in stored order, at every depth; `fn` gets the folder, its
// path and its depth. The file is not trusted: a folder met a second time (a loop in the hierarchy) is not
// entered again, and the walk keeps its own stack instead of recursing.
void Walk(const pst::MessageStore& store, Nid start,
          const std::function<void(const pst::FolderInfo&, const std::string&, int)>& fn) {
  struct Pending {
    Nid nid;
    std::string path;
    int depth;
  };
  std::vector<Pending> stack{{start, "", 0}};
  std::set<Nid> seen;
  while (!stack.empty()) {
    Pending p = std::move(stack.back());
    stack.pop_back();
    const pst::FolderInfo* f = store.Folder(p.nid);
    if (!f || !seen.insert(p.nid).second) continue;
    fn(*f, p.path, p.depth);
    for (auto it = f->children.rbegin(); it != f->children.rend(); ++it) {
      const pst::FolderInfo* c = store.Folder(*it);
      if (!c) continue;
      stack.push_back({*it, p.path.empty() ? c->name : p.path + "/" + c->name, p.depth + 1});
    }
  }
}

std::string Text(const pst::PropertyMap& props, uint16_t id) {
  auto it = props.find(id);
  if (it == props.end()) return "";
  return it->second.AsString().value_or("");
}

std::string Time(const pst::PropertyMap& props, uint16_t id) {
  auto it = props.find(id);
  if (it == props.end()) return "";
  auto ft = it->second.AsTime();
  if (!ft) return "";
  // FILETIME: 100 ns since 1601-01-01 UTC; 11,644,473,600 s lie between 1601 and 1970.
  std::time_t secs = static_cast<std::time_t>(*ft / 10000000ULL) - 11644473600LL;
  std::tm utc{};
  fsutil::UtcCalendar(secs, &utc);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return buf;
}

}  // namespace

int ListFolders(const std::string& path, std::ostream& out, std::ostream& err, bool wait) {
  OpenStore s;
  if (!Open(path, s, err, wait)) return 2;
  out << "Store: " << s.store->display_name() << "\n";
  Walk(*s.store, s.store->root_folder(), [&](const pst::FolderInfo& f, const std::string&, int depth) {
    out << std::string(static_cast<size_t>(depth) * 2, ' ') << (depth == 0 ? "(root)" : f.name) << "  ["
        << f.content_count << " messages, " << f.unread_count << " unread"
        << (f.container_class.empty() ? "" : ", " + f.container_class) << "]\n";
  });
  return 0;
}

int CheckStore(const std::string& path, std::ostream& out, std::ostream& err, bool wait) {
  // The lock is held until the check ends: the second open below shares it.
  auto file = pst::OpenDiskFileShared(path, wait);
  if (!file.ok()) {
    err << "velmora-pst: cannot open " << path << ": " << file.status().message() << "\n";
    return 2;
  }
  pst::CheckReport report = pst::CheckFile(**file);
  for (const auto& note : report.notes) out << "note: " << note << "\n";
  for (const auto& e : report.errors) out << "error: " << e << "\n";
  out << "node database: " << report.Summary() << "\n";
  if (!report.ok()) {
    out << "NOT SOUND: " << report.errors.size() << " problem(s) in the node database\n";
    return 1;
  }

  OpenStore s;
  if (!Open(path, s, err, wait)) return 1;
  std::vector<std::string> problems;
  auto folders = pst::CheckFolderTree(*s.db, &problems);
  // Folders are named by their path, as users know them.
  std::map<Nid, std::string> paths;
  Walk(*s.store, s.store->root_folder(), [&](const pst::FolderInfo& f, const std::string& fpath, int depth) {
    paths[f.nid] = depth == 0 ? "the root folder" : "folder \"" + fpath + "\"";
  });
  auto folder_text = [&](Nid nid) {
    auto it = paths.find(nid);
    return it != paths.end() ? it->second : "folder " + Hex(nid);
  };
  size_t messages = 0;
  for (const auto& cf : folders) {
    const pst::FolderInfo* f = s.store->Folder(cf.nid);
    if (!f || f->is_search) continue;
    // Row by row: a folder of any size is checked in the memory of one row and one message.
    const Nid table_nid = pst::MakeNid(pst::kNidTypeContentsTable, pst::NidIndexOf(cf.nid));
    auto table = pst::OpenTableNode(*s.db, table_nid);
    pst::Result<const pst::TableRow*> row = table.ok() ? (*table)->Next() : table.status();
    for (; row.ok() && *row; row = (*table)->Next()) {
      ++messages;
      const Nid nid = (*row)->row_id;
      auto msg = pst::ReadMessage(*s.db, nid);
      if (!msg.ok()) {
        problems.push_back("message " + Hex(nid) + " in " + folder_text(cf.nid) + ": " +
                           msg.status().ToString());
      }
    }
    if (!row.ok()) {
      problems.push_back(folder_text(cf.nid) +
                         ": contents table: " + pst::InNode(table_nid, row.status()).ToString());
    }
  }
  for (const auto& p : problems) out << "error: " << p << "\n";
  out << "message store: " << folders.size() << " folders, " << messages << " messages\n";
  if (!problems.empty()) {
    out << "NOT SOUND: " << problems.size() << " problem(s) in the message store\n";
    return 1;
  }
  out << "sound\n";
  return 0;
}

int DumpMessages(const std::string& path, const std::string& folder, std::ostream& out, std::ostream& err,
                 bool wait) {
  OpenStore s;
  if (!Open(path, s, err, wait)) return 2;
  auto top = s.store->IpmSubtree();
  Nid start = top.ok() ? *top : s.store->root_folder();
  int status = 0;
  Walk(*s.store, start, [&](const pst::FolderInfo& f, const std::string& fpath, int) {
    if (!folder.empty() && fpath != folder && fpath.rfind(folder + "/", 0) != 0) return;
    if (f.is_search) return;
    const Nid table_nid = pst::MakeNid(pst::kNidTypeContentsTable, pst::NidIndexOf(f.nid));
    auto table = pst::OpenTableNode(*s.db, table_nid);
    if (!table.ok()) {
      err << "velmora-pst: folder " << fpath << ": " << table.status().ToString() << "\n";
      status = 1;
      return;
    }
    out << "== " << (fpath.empty() ? "(top)" : fpath) << " (" << (*table)->row_count() << " messages)\n";
    for (auto row = (*table)->Next();; row = (*table)->Next()) {
      if (!row.ok()) {
        err << "velmora-pst: folder " << fpath << ": " << pst::InNode(table_nid, row.status()).ToString()
            << "\n";
        status = 1;
      }
      if (!row.ok() || !*row) break;
      const Nid nid = (*row)->row_id;
      auto msg = pst::ReadMessage(*s.db, nid);
      if (!msg.ok()) {
        out << "  message " << Hex(nid) << ": " << msg.status().ToString() << "\n";
        status = 1;
        continue;
      }
      const auto& p = msg->props;
      out << "  message " << Hex(nid) << "\n"
          << "    Subject: " << Text(p, ids::kSubject) << "\n"
          << "    From:    " << Text(p, ids::kSentRepresentingName) << " <"
          << Text(p, ids::kSentRepresentingEmailAddress) << ">\n"
          << "    To:      " << Text(p, ids::kDisplayTo) << "\n"
          << "    Date:    " << Time(p, ids::kClientSubmitTime) << "\n"
          << "    Class:   " << Text(p, ids::kMessageClass) << "\n";
      auto size = p.find(ids::kMessageSize);
      if (size != p.end() && size->second.AsInt32())
        out << "    Size:    " << *size->second.AsInt32() << "\n";
      out << "    Recipients: " << msg->recipients.size() << ", attachments: " << msg->attachments.size()
          << "\n";
      for (const auto& a : msg->attachments) {
        std::string name = Text(a.props, ids::kAttachLongFilename);
        if (name.empty()) name = Text(a.props, ids::kAttachFilename);
        out << "      - " << (a.embedded ? "[message] " + Text(a.embedded->props, ids::kSubject) : name)
            << "\n";
      }
    }
  });
  return status;
}

}  // namespace velmora::cli
