#include "rdo/rdo_session.h"

#include <filesystem>

#include "fsutil/program_text.h"
#include "rdo/rdo_mail.h"

namespace velmora::rdo {

namespace {

constexpr const char* kProgIdSession = "Redemption.RDOSession";
constexpr const char* kProgIdMapiUtils = "Redemption.MAPIUtils";

ScopedObjectFactory::Factory& CurrentFactory() {
  static ScopedObjectFactory::Factory factory;
  return factory;
}

std::string FolderOf(const std::string& path) {
  std::string parent = fsutil::Utf8Path(fsutil::FsPath(path).parent_path());
  return parent.empty() ? "." : parent;
}

}  // namespace

std::shared_ptr<Object> CreateObject(const std::string& progid) {
  if (auto& f = CurrentFactory()) return f(progid);
  if (progid == kProgIdSession) return std::make_shared<RDOSession>();
  if (progid == kProgIdMapiUtils) return std::make_shared<RDOMAPIUtils>();
  throw Error(kClassNotRegistered, "Class not registered: \"" + progid + "\"");
}

ScopedObjectFactory::ScopedObjectFactory(Factory f) : previous_(std::move(CurrentFactory())) {
  CurrentFactory() = std::move(f);
}
ScopedObjectFactory::~ScopedObjectFactory() {
  CurrentFactory() = std::move(previous_);
}

RDOSession::RDOSession(std::shared_ptr<PstFiles> files) : files_(std::move(files)) {}

RDOSession::~RDOSession() {
  for (auto& s : stores_) {
    try {
      s->Close();
    } catch (const Error&) {
      // Nothing can report it here; the file keeps its last commit.
    }
  }
}

std::shared_ptr<RDOStore> RDOSession::LogonPstStore(const std::string& path, int format,
                                                    const std::string& display_name) {
  if (format != kStoreFormatUnicode) {
    throw Error(kMapiNoSupport,
                "Store format " + std::to_string(format) + " is not supported; use 1 (Unicode)");
  }
  if (path.empty()) throw Error(kEInvalidArg, "LogonPstStore needs a file path");
  for (auto& s : stores_) {
    if (s->open() && s->path() == path) return std::make_shared<RDOStore>(s);
  }
  std::unique_ptr<pst::NodeStore> nodes;
  std::unique_ptr<pst::MessageStore> store;
  bool is_new = false;
  switch (files_->Kind(path)) {
    case PathKind::kOther:
      throw Error(kEAccessDenied, "\"" + path + "\" is not a file");
    case PathKind::kFile: {
      auto looks = files_->LooksLikePst(path);
      ThrowIfError(looks.status(), "Cannot read \"" + path + "\"");
      if (!*looks) throw Error(kMapiCorruptData, "\"" + path + "\" is not an Outlook data file (.pst)");
      auto opened = files_->Open(path);
      ThrowIfError(opened.status(), "Cannot open \"" + path + "\"");
      nodes = std::move(opened).value();
      auto ms = pst::MessageStore::Open(*nodes);
      ThrowIfError(ms.status(), "Cannot open the store in \"" + path + "\"");
      store = std::move(ms).value();
      // An existing file keeps its own name, as Outlook keeps it when a data file is opened: the name given
      // here is the one a new file gets. Renaming a store is a change of its own (PidTagDisplayName).
      break;
    }
    case PathKind::kMissing: {
      if (files_->Kind(FolderOf(path)) != PathKind::kOther) {
        throw Error(kMapiNotFound,
                    "Cannot create \"" + path + "\": the folder \"" + FolderOf(path) + "\" does not exist");
      }
      auto created = files_->Create(path);
      ThrowIfError(created.status(), "Cannot create \"" + path + "\"");
      nodes = std::move(created).value();
      auto ms = pst::MessageStore::Create(*nodes, {display_name, std::nullopt});
      ThrowIfError(ms.status(), "Cannot create the store in \"" + path + "\"");
      store = std::move(ms).value();
      is_new = true;
      break;
    }
  }
  auto state = std::make_shared<StoreState>(path, std::move(nodes), std::move(store));
  state->set_commit_interval(commit_interval_);
  state->Commit();
  if (is_new) ThrowIfError(files_->Publish(path), "Cannot create \"" + path + "\"");
  stores_.push_back(state);
  return std::make_shared<RDOStore>(state);
}

std::shared_ptr<RDOStore> RDOSession::GetStoreFromID(const std::string& entry_id) const {
  return std::make_shared<RDOStore>(FindStoreByEntryId(stores_, entry_id));
}

std::shared_ptr<RDOStores> RDOSession::Stores() const {
  std::vector<std::shared_ptr<StoreState>> open;
  for (auto& s : stores_)
    if (s->open()) open.push_back(s);
  return std::make_shared<RDOStores>(std::move(open));
}

std::shared_ptr<RDOFolder> RDOSession::GetFolderFromPath(const std::string& path) const {
  if (path.rfind("\\\\", 0) != 0) throw Error(kEInvalidArg, "Invalid folder path \"" + path + "\"");
  std::vector<std::string> parts;
  size_t start = 2;
  while (true) {
    size_t bs = path.find('\\', start);
    parts.push_back(path.substr(start, bs == std::string::npos ? std::string::npos : bs - start));
    if (bs == std::string::npos) break;
    start = bs + 1;
  }
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();  // one trailing "\"
  std::shared_ptr<StoreState> state;
  for (auto& s : stores_) {
    if (s->open() && s->store().display_name() == parts[0]) {
      state = s;
      break;
    }
  }
  if (!state) throw Error(kMapiNotFound, "Store \"" + parts[0] + "\" does not exist");
  pst::MessageStore& ms = state->store();
  auto ipm = ms.IpmSubtree();
  ThrowIfError(ipm.status(), "The store has no IPM root folder");
  pst::Nid folder = *ipm;
  for (size_t i = 1; i < parts.size(); ++i) {
    auto child = ms.FindSubFolder(folder, parts[i]);
    if (!child) throw Error::FolderNotFound(parts[i]);
    folder = *child;
  }
  return std::make_shared<RDOFolder>(state, folder);
}

void RDOSession::Commit() {
  for (auto& s : stores_)
    if (s->open()) s->Commit();
}

void RDOSession::Logoff() {
  auto stores = std::move(stores_);
  stores_.clear();
  std::optional<Error> first;
  for (auto& s : stores) {
    try {
      s->Close();
    } catch (const Error& e) {
      if (!first) first = e;
    }
  }
  if (first) throw *first;
}

}  // namespace velmora::rdo
