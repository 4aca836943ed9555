// RDOSession: the object the engine creates by ProgID "Redemption.RDOSession" to open .pst files and find
// folders in them. Objects are created through CreateObject, the one factory a test can replace.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rdo/object.h"
#include "rdo/pst_files.h"
#include "rdo/rdo_store.h"

namespace velmora::rdo {

// The store format LogonPstStore makes: olStoreUnicode, a Unicode PST.
constexpr int kStoreFormatUnicode = 1;

class RDOSession : public Object {
 public:
  explicit RDOSession(std::shared_ptr<PstFiles> files = DiskPstFiles());
  ~RDOSession() override;  // commits what is still open, as Logoff would; errors are dropped here

  // Opens the PST at `path`, creating a new Unicode PST named `display_name` when no file is there. An
  // existing PST keeps its own name (as Outlook opens a data file); `display_name` is not applied to it. The
  // file is held locked for writing until the session ends (a second writer gets "... is in use by another
  // program"), and a damaged file is refused untouched. Error when the path's folder does not exist or
  // cannot be written, when the path holds something that is not a PST (left untouched), or for a format
  // other than 1.
  std::shared_ptr<RDOStore> LogonPstStore(const std::string& path, int format = kStoreFormatUnicode,
                                          const std::string& display_name = "");
  std::shared_ptr<RDOStore> GetStoreFromID(const std::string& entry_id) const;
  std::shared_ptr<RDOStores> Stores() const;
  // Path "\\" + store display name [+ "\" + folder names joined by "\"], a trailing "\" allowed; the names
  // below the store start at its IPM root folder. A missing folder raises Error whose description is
  // `Folder "NAME" does not exist`, NAME being the first name on the path that does not exist.
  std::shared_ptr<RDOFolder> GetFolderFromPath(const std::string& path) const;
  // Makes everything written so far durable in every open store (after a confirmed Stop); stays logged on.
  void Commit();
  // Commits and closes every store.
  void Logoff();
  bool LoggedOn() const { return !stores_.empty(); }
  // How old the last commit may get while changes are made (default 5 s); for stores logged on afterwards.
  void set_commit_interval(std::chrono::milliseconds interval) { commit_interval_ = interval; }

 private:
  std::shared_ptr<PstFiles> files_;
  std::vector<std::shared_ptr<StoreState>> stores_;
  std::chrono::milliseconds commit_interval_ = StoreState::kDefaultCommitInterval;
};

// Creates an automation object by ProgID ("Redemption.RDOSession", "Redemption.MAPIUtils"); Error for an
// unknown ProgID.
std::shared_ptr<Object> CreateObject(const std::string& progid);
// CreateObject for a ProgID whose object is of class T; Error when it is not.
template <class T>
std::shared_ptr<T> CreateObjectAs(const std::string& progid) {
  auto obj = std::dynamic_pointer_cast<T>(CreateObject(progid));
  if (!obj) throw Error(kEInvalidArg, "\"" + progid + "\" does not make the object asked for");
  return obj;
}

// Replaces what CreateObject does while it lives (tests: a failing factory, sessions on in-memory files).
class ScopedObjectFactory {
 public:
  using Factory = std::function<std::shared_ptr<Object>(const std::string& progid)>;
  explicit ScopedObjectFactory(Factory f);
  ~ScopedObjectFactory();
  ScopedObjectFactory(const ScopedObjectFactory&) = delete;
  ScopedObjectFactory& operator=(const ScopedObjectFactory&) = delete;

 private:
  Factory previous_;
};

}  // namespace velmora::rdo
