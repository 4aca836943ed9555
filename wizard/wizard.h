// The wizard: one object of each window for the whole process, each made on first use and afterwards
// shown and hidden, never recreated by navigation; the run state; the host the engine talks to; and the two
// things that span windows: starting a run (one at a time) and ending the program.
#pragma once

#include <QPointer>
#include <functional>
#include <memory>

#include "engine/run_state.h"
#include "status/desktop.h"

class QWidget;

namespace velmora::status {
class frmMigateAll;
}

namespace velmora::wizard {

class frmFirst;
class frmStart;
class frmSingle;
class frmMultiple;
class WindowHost;

class Wizard {
 public:
  explicit Wizard(status::Desktop& desktop);
  ~Wizard();
  Wizard(const Wizard&) = delete;
  Wizard& operator=(const Wizard&) = delete;

  // Each window, made (loaded, not shown) when first asked for.
  frmFirst& First();
  frmStart& Start();
  frmSingle& Single();
  frmMultiple& Multiple();
  status::frmMigateAll& Status();
  bool HasMultiple() const { return multiple_ != nullptr; }
  bool HasSingle() const { return single_ != nullptr; }

  engine::RunState& run_state() { return run_state_; }
  status::Desktop& desktop() { return desktop_; }
  WindowHost& host() { return *host_; }

  // Shows the introduction page: the program's start.
  void Launch();

  // A page's Next: shows the status window over `page` and runs the conversion. Refused while a run is under
  // way; the pages' Next and Select... are disabled for the run. An error that escapes the run is shown in a
  // message box with its description.
  void RunConversion(QWidget* page);
  bool running() const { return running_; }

  // The single-folder page is closing: the status window shown over it passes to the mode page, which stays
  // beneath. A window whose owner closes loses the repaints it has pending (the texts of a confirmed Stop),
  // and it must stay on screen anyway.
  void SinglePageClosing();

  // Yes on a start page's close confirmation: commits and closes a store a stopped run left open, hides every
  // window and ends the process (at once, also in the middle of a run).
  void EndProgram();
  // The last step of EndProgram; tests replace it. The default leaves the event loop, or exits the process
  // when a run is on the call stack.
  std::function<void()> end_process;

 private:
  void SetRunControlsEnabled(bool enabled);

  engine::RunState run_state_;
  status::Desktop& desktop_;
  std::unique_ptr<WindowHost> host_;
  bool running_ = false;
  std::unique_ptr<frmFirst> first_;
  std::unique_ptr<frmStart> start_;
  std::unique_ptr<frmSingle> single_;
  std::unique_ptr<frmMultiple> multiple_;
  // Last, so it goes first: it may be parented to one of the pages above.
  std::unique_ptr<status::frmMigateAll> status_;
};

}  // namespace velmora::wizard
