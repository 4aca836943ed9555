#include "verify/store_verifier.h"

#include <algorithm>
#include <functional>
#include <set>

#include "pst/messaging/message_store.h"
#include "pst/messaging/node_io.h"
#include "pst/ndb/check.h"
#include "pst/ndb/node_database.h"
#include "rdo/rdo_mail.h"

namespace velmora::verify {

namespace {

// Problems of a damaged file named in the error; the store check lists them all.
constexpr size_t kDamageShown = 3;

uint64_t KeyOf(const std::string& source) {
  return std::hash<std::string>{}(source);
}

// Folder names are compared as the store looks them up: without regard to ASCII case.
bool SameFolder(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Shown(const std::string& folder) {
  return folder.empty() ? "(top of the store)" : folder;
}

std::string Damage(const pst::CheckReport& check, const std::string& path) {
  std::string m = path + " is damaged: ";
  for (size_t k = 0; k < check.errors.size() && k < kDamageShown; ++k) m += (k ? "; " : "") + check.errors[k];
  if (check.errors.size() > kDamageShown)
    m += "; and " + std::to_string(check.errors.size() - kDamageShown) + " more problem(s)";
  return m + " (velmora-pst check lists every problem)";
}

}  // namespace

pst::Result<std::unique_ptr<StoreVerifier>> StoreVerifier::Open(const std::string& pst_path,
                                                                bool check_structure, bool wait) {
  auto file = pst::OpenDiskFileShared(pst_path, wait);
  if (!file.ok()) return pst::Status::IoError("cannot open " + pst_path + ": " + file.status().message());
  if (check_structure) {
    const pst::CheckReport check = pst::CheckFile(**file);
    if (!check.ok()) return pst::Status::Corruption(Damage(check, pst_path));
  }
  auto db = pst::NodeDatabase::Open(std::shared_ptr<pst::File>(std::move(file).value()), /*writable=*/false);
  if (!db.ok()) return pst::Status::Corruption(pst_path + " is damaged: " + db.status().ToString());
  auto store = pst::MessageStore::Open(**db);
  if (!store.ok()) {
    return pst::Status::Corruption(pst_path +
                                   ": the message store cannot be read: " + store.status().ToString());
  }
  auto top = (*store)->IpmSubtree();
  if (!top.ok()) return pst::Status::Corruption(pst_path + ": no top folder: " + top.status().ToString());

  std::unique_ptr<StoreVerifier> v(new StoreVerifier());
  if (!v->log_.ok()) return pst::Status::IoError(v->log_.error());
  auto name_of = [&](int code) {
    auto nid = (*store)->DefaultFolder(code);
    const pst::FolderInfo* f = nid.ok() ? (*store)->Folder(*nid) : nullptr;
    return f ? f->name : std::string();
  };
  v->inbox_name_ = name_of(pst::kFolderInbox);
  v->sent_items_name_ = name_of(pst::kFolderSentMail);
  // Depth first with our own stack; a folder met twice (a loop in a damaged hierarchy) is entered once.
  std::vector<std::pair<pst::Nid, std::string>> stack{{*top, ""}};
  std::set<pst::Nid> seen;
  while (!stack.empty()) {
    auto [nid, path] = std::move(stack.back());
    stack.pop_back();
    const pst::FolderInfo* f = (*store)->Folder(nid);
    if (!f || !seen.insert(nid).second) continue;
    for (pst::Nid child : f->children) {
      if (const pst::FolderInfo* c = (*store)->Folder(child))
        stack.emplace_back(child, path.empty() ? c->name : path + "\\" + c->name);
    }
    if (f->is_search) continue;
    auto ids = (*store)->Messages(nid);  // from the row index: the table is not held
    if (!ids.ok()) {
      v->report_.differences.push_back({"", "folder " + Shown(path), ids.status().ToString()});
      continue;
    }
    for (pst::Nid id : *ids) {
      auto content = (*store)->ReadMessage(id);
      if (!content.ok()) {
        v->report_.differences.push_back(
            {"", "message " + pst::NidText(id) + " in " + Shown(path), content.status().ToString()});
        continue;
      }
      Fingerprint stored = Take(*content);
      stored.source = rdo::SourceFileOf(*content);
      if (stored.source.empty()) continue;  // not ours to check (added by another program)
      stored.folder = path;
      v->index_.push_back(
          {KeyOf(stored.source), KeyOf(ValueOf(stored, "message-id")), v->log_.Append(stored), false});
    }
  }
  if (!v->log_.ok()) return pst::Status::IoError(v->log_.error());
  std::sort(v->index_.begin(), v->index_.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
  v->by_id_.resize(v->index_.size());
  for (uint32_t k = 0; k < v->by_id_.size(); ++k) v->by_id_[k] = k;
  std::sort(v->by_id_.begin(), v->by_id_.end(),
            [&](uint32_t a, uint32_t b) { return v->index_[a].id_key < v->index_[b].id_key; });
  v->no_id_ = ValueOf(Take(pst::MessageContent()), "message-id");
  return v;
}

StoreVerifier::Entry* StoreVerifier::Choose(const Fingerprint& expected, Fingerprint& stored) {
  auto [lo, hi] = std::equal_range(index_.begin(), index_.end(), Entry{KeyOf(expected.source), 0, 0, false},
                                   [](const Entry& a, const Entry& b) { return a.key < b.key; });
  // Ranked: right folder and Message-ID (3), right folder (2), elsewhere (1).
  Entry* best = nullptr;
  int best_rank = 0;
  const std::string id = ValueOf(expected, "message-id");
  Fingerprint candidate;
  for (auto it = lo; it != hi; ++it) {
    if (it->matched || !log_.ReadAt(it->offset, candidate) || candidate.source != expected.source) continue;
    const bool here = SameFolder(candidate.folder, expected.folder);
    const int rank = here ? (ValueOf(candidate, "message-id") == id ? 3 : 2) : 1;
    if (rank > best_rank) {
      best = &*it;
      best_rank = rank;
      stored = candidate;
    }
  }
  return best ? best : ChooseById(expected, stored);
}

StoreVerifier::Entry* StoreVerifier::ChooseById(const Fingerprint& expected, Fingerprint& stored) {
  const std::string id = ValueOf(expected, "message-id");
  if (id == no_id_) return nullptr;
  const uint64_t key = KeyOf(id);
  auto it = std::lower_bound(by_id_.begin(), by_id_.end(), key,
                             [&](uint32_t pos, uint64_t k) { return index_[pos].id_key < k; });
  Entry* best = nullptr;
  Fingerprint candidate;
  for (; it != by_id_.end() && index_[*it].id_key == key; ++it) {
    Entry& e = index_[*it];
    if (e.matched || !log_.ReadAt(e.offset, candidate) || ValueOf(candidate, "message-id") != id) continue;
    const bool here = SameFolder(candidate.folder, expected.folder);
    if (!best || here) {
      best = &e;
      stored = candidate;
    }
    if (here) break;
  }
  return best;
}

bool StoreVerifier::Check(const Fingerprint& expected, bool missing_is_difference) {
  Fingerprint stored;
  Entry* e = Choose(expected, stored);
  if (!e) {
    if (!missing_is_difference) return false;
    ++report_.expected;
    report_.differences.push_back(
        {expected.file, "message", "not in the .pst (expected in " + Shown(expected.folder) + ")"});
    return false;
  }
  ++report_.expected;
  e->matched = true;
  const size_t before = report_.differences.size();
  if (stored.source != expected.source) {
    report_.differences.push_back({expected.file, "source file",
                                   "the message was made from \"" + stored.source + "\", the file now is \"" +
                                       expected.source + "\" (size and name)"});
  }
  if (!SameFolder(stored.folder, expected.folder)) {
    report_.differences.push_back(
        {expected.file, "folder",
         "expected in " + Shown(expected.folder) + ", found in " + Shown(stored.folder)});
  }
  // Fields are listed in one order on both sides; a field only one side has is a difference too (an
  // attachment more or less shows first in the count).
  for (const auto& field : expected.fields) {
    auto it = std::find_if(stored.fields.begin(), stored.fields.end(),
                           [&](const Field& s) { return s.name == field.name; });
    if (it == stored.fields.end()) {
      report_.differences.push_back({expected.file, field.name, "not in the stored message"});
    } else if (it->value != field.value) {
      report_.differences.push_back(
          {expected.file, field.name,
           field.hashed ? "differs" : "imported " + field.value + ", stored " + it->value});
    }
  }
  for (const auto& field : stored.fields) {
    if (ValueOf(expected, field.name).empty() &&
        std::none_of(expected.fields.begin(), expected.fields.end(),
                     [&](const Field& x) { return x.name == field.name; })) {
      report_.differences.push_back({expected.file, field.name, "only in the stored message"});
    }
  }
  if (report_.differences.size() == before) {
    ++report_.verified;
    report_.attachments += expected.attachments;
  }
  return true;
}

void StoreVerifier::ListUnmatched() {
  Fingerprint stored;
  for (const Entry& e : index_) {
    if (!e.matched && log_.ReadAt(e.offset, stored))
      report_.removed.push_back((stored.folder.empty() ? "" : stored.folder + "\\") + stored.source);
  }
}

}  // namespace velmora::verify
