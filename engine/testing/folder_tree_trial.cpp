#include "engine/testing/folder_tree_trial.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "engine/conversion.h"
#include "engine/testing/recording_host.h"
#include "fsutil/program_text.h"
#include "pst/messaging/message_store.h"
#include "pst/ndb/node_database.h"

namespace velmora::engine::testing {

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kOrdinaryNames = {"a",   "Archive",  "2023",  "Q1",
                                                 "x y", "Projects", "inbox", "Ünïcode ✉"};
const std::vector<std::string> kSpecialNames = {
    "Inbox",    "Sent",          "Calendar", "Contacts",   "Tasks",         "Emailed Contacts",
    "Notebook", "Conversations", "Drafts",   "Sent Items", "Deleted Items", "Junk E-mail"};
const std::vector<std::string> kDefaultFolders = {"Inbox",    "Outbox",   "Sent Items", "Deleted Items",
                                                  "Calendar", "Contacts", "Journal",    "Notes",
                                                  "Tasks",    "Drafts",   "Junk E-mail"};
constexpr int kMaxDepth = 5;
constexpr size_t kMaxFolders = 40;

int Depth(const std::string& path) {
  return path.empty() ? 0 : static_cast<int>(std::count(path.begin(), path.end(), '/')) + 1;
}

// Adds `name` below folders[parent] unless the parent is too deep or already has a child of that name.
void AddFolder(ExportTree& tree, size_t parent, const std::string& name, int messages) {
  const std::string& base = tree.folders[parent].first;
  if (Depth(base) >= kMaxDepth) return;
  const std::string path = base.empty() ? name : base + "/" + name;
  for (const auto& f : tree.folders)
    if (f.first == path) return;
  tree.folders.emplace_back(path, messages);
}

std::string MessageText(const std::string& folder, int k) {
  return "From: a@b.c\r\nSubject: " + folder + " " + std::to_string(k) + "\r\n\r\nb\r\n";
}

// Path below the top folder -> message count, as our reader sees the file.
std::string ReadStore(const std::string& pst, std::map<std::string, int>& seen) {
  auto file = pst::OpenDiskFile(pst, pst::OpenMode::kReadOnly);
  if (!file.ok()) return file.status().message();
  auto db = pst::NodeDatabase::Open(std::shared_ptr<pst::File>(std::move(file).value()), false);
  if (!db.ok()) return db.status().ToString();
  auto store = pst::MessageStore::Open(**db);
  if (!store.ok()) return store.status().ToString();
  auto top = (*store)->IpmSubtree();
  if (!top.ok()) return top.status().ToString();
  std::vector<std::pair<pst::Nid, std::string>> stack{{*top, ""}};
  while (!stack.empty()) {
    auto [nid, path] = stack.back();
    stack.pop_back();
    const pst::FolderInfo* f = (*store)->Folder(nid);
    if (!f || seen.count(path) > 0) return "folder tree is not a tree at \"" + path + "\"";
    seen[path] = f->content_count;
    for (pst::Nid child : f->children) {
      if (const pst::FolderInfo* c = (*store)->Folder(child))
        stack.emplace_back(child, path.empty() ? c->name : path + "/" + c->name);
    }
  }
  return "";
}

}  // namespace

ExportTree RandomTree(std::mt19937& rng, bool special_names, int max_folders) {
  ExportTree tree;
  tree.folders.emplace_back("", static_cast<int>(rng() % 2));
  const int n = 1 + static_cast<int>(rng() % static_cast<unsigned>(max_folders));
  for (int i = 0; i < n; ++i) {
    const bool special = special_names && rng() % 2 == 0;
    const auto& pool = special ? kSpecialNames : kOrdinaryNames;
    AddFolder(tree, rng() % tree.folders.size(), pool[rng() % pool.size()], static_cast<int>(rng() % 3));
  }
  return tree;
}

ExportTree TreeFromBytes(std::span<const uint8_t> bytes) {
  ExportTree tree;
  tree.folders.emplace_back("", bytes.empty() ? 0 : bytes[0] % 2);
  for (size_t i = 1; i + 1 < bytes.size() && tree.folders.size() < kMaxFolders; i += 2) {
    const size_t names = kOrdinaryNames.size() + kSpecialNames.size();
    const size_t pick = bytes[i + 1] % names;
    const std::string& name =
        pick < kOrdinaryNames.size() ? kOrdinaryNames[pick] : kSpecialNames[pick - kOrdinaryNames.size()];
    AddFolder(tree, bytes[i] % tree.folders.size(), name, static_cast<int>(bytes[i + 1] / names % 3));
  }
  return tree;
}

std::map<std::string, int> ExpectedStore(const ExportTree& tree) {
  std::map<std::string, int> want{{"", 0}};
  for (const auto& name : kDefaultFolders) want[name] = 0;
  const std::set<std::string> skipped_by_rule = {"Emailed Contacts", "Notebook", "Conversations"};
  for (const auto& [path, messages] : tree.folders) {
    if (path.empty()) {
      want[""] += messages;
      continue;
    }
    const size_t slash = path.find('/');
    const std::string first = path.substr(0, slash);
    const std::string rest = slash == std::string::npos ? "" : path.substr(slash);
    if (slash == std::string::npos && skipped_by_rule.count(first) > 0) continue;  // nothing made, skipped
    const std::string store = (first == "Inbox" ? "Inbox" : first == "Sent" ? "Sent Items" : first) + rest;
    for (size_t cut = store.find('/'); cut != std::string::npos; cut = store.find('/', cut + 1))
      want.emplace(store.substr(0, cut), 0);
    want[store] += messages;
  }
  return want;
}

std::string ConvertAndCompare(const ExportTree& tree, const std::string& work) {
  std::error_code ec;
  fs::remove_all(work, ec);
  const fs::path mailbox = fs::path(work) / "export" / "Mailbox";
  const fs::path out = fs::path(work) / "out";
  fs::create_directories(mailbox);
  fs::create_directories(out);
  int total = 0, skipped = 0;
  for (const auto& [path, messages] : tree.folders) {
    const fs::path folder = mailbox / fsutil::FsPath(path);  // UTF-8 names, also where narrow paths are not
    fs::create_directories(folder);
    for (int k = 0; k < messages; ++k)
      std::ofstream(folder / ("m" + std::to_string(k) + ".eml"), std::ios::binary) << MessageText(path, k);
    total += messages;
    if (path == "Emailed Contacts" || path == "Notebook" || path == "Conversations") skipped += messages;
  }

  RecordingHost host;
  host.record_lines = false;
  host.mode = RunMode::kMailboxList;
  host.output_folder = fsutil::Utf8Path(out);
  host.mailboxes = {{true, "Mailbox", fsutil::Utf8Path(mailbox)}};
  RunState run;
  Conversion conversion(host, run);
  conversion.Run();

  std::string problems;
  // A mailbox without files is passed over: no store is made for it.
  if (total == 0) return conversion.outcomes().empty() ? "" : "a store for a mailbox without files\n";
  if (conversion.outcomes().size() != 1) return "no outcome for the mailbox";
  const MailboxOutcome& o = conversion.outcomes()[0];
  for (const auto& f : o.folders_not_made) problems += "folder not made: " + f.path + ": " + f.reason + "\n";
  for (const auto& f : o.not_converted) problems += "not converted: " + f.path + ": " + f.reason + "\n";
  if (o.converted != total - skipped || static_cast<int>(o.skipped.size()) != skipped) {
    problems += "converted " + std::to_string(o.converted) + " and skipped " +
                std::to_string(o.skipped.size()) + " of " + std::to_string(total) + "\n";
  }
  std::map<std::string, int> seen;
  if (std::string read = ReadStore(o.pst, seen); !read.empty())
    return problems + "cannot read the store: " + read;
  const std::map<std::string, int> want = ExpectedStore(tree);
  for (const auto& [path, count] : want) {
    auto it = seen.find(path);
    if (it == seen.end()) {
      problems += "missing folder \"" + path + "\"\n";
    } else if (it->second != count) {
      problems +=
          "\"" + path + "\" holds " + std::to_string(it->second) + ", not " + std::to_string(count) + "\n";
    }
  }
  for (const auto& [path, count] : seen)
    if (want.count(path) == 0) problems += "extra folder \"" + path + "\"\n";
  return problems;
}

}  // namespace velmora::engine::testing
