// The status window, frmMigateAll: shows the status display that the engine writes during a run and carries
// Skip ("X"), Stop ("S&TOP") and "&Open Folder". It does no conversion work: Skip and Stop only set the run
// flags the engine polls, Open Folder opens a folder.
//
// Loading. The window is one object per process. "Loaded" is a state of that object, not its existence:
// Load() puts every control back to its creation state and runs Form_Load; a confirmed close unloads it,
// and the next access (the host's status writes, or a page showing it) loads it again.
//
// Closing during a run is a Stop: the window stays (a run that goes on must stay in sight) and the engine
// asks the stop question as it does for the Stop button. Form_Load leaves the run state alone while a run is
// in progress. A close after a Stop that followed a confirmed skip (the Stop button's own close) is asked
// about as usual; when confirmed mid-run, the window is hidden but stays loaded until the run ends.
//
// Below the location caption, lblLocation shows the folder Open Folder opens (elided in the middle when
// long, the whole path as its tooltip). When no program takes the folder, a message names it instead.
//
// Layout (pixels, client area 491 x 258): x, y, width, height of each control are in the constructor.
#pragma once

#include <QWidget>
#include <functional>

#include "engine/run_state.h"
#include "status/desktop.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace velmora::status {

// What the window reads from the rest of the program at the moment it needs it.
struct StatusContext {
  std::function<bool()> single_mode;       // the mode page's OptSingle
  std::function<QString()> output_folder;  // the multiple-folder page's output folder text, untrimmed
  std::function<bool()> run_in_progress;   // a conversion run is under way
};

class frmMigateAll : public QWidget {
  Q_OBJECT

 public:
  frmMigateAll(engine::RunState& run_state, Desktop& desktop, StatusContext context);

  // --- Controls, named as the window's controls are ----------------------------------------------------
  QWidget* Shape2;
  QLabel* lblCount1;
  QPushButton* CmdSkip;
  QLabel* lblProgress;
  QProgressBar* ProgressBar1;
  QPushButton* CmdStopMigration;
  QLabel* FrameConversion;
  QLabel* LblCurrentDBX;
  QWidget* Shape1;
  QLabel* Image1;
  QLabel* Label3;
  QPushButton* CmdLocate;
  QLabel* lblLocation;

  // --- Handlers
  // ----------------------------------------------------------------------------------------------
  void Form_Load();
  void CmdSkip_Click();
  void CmdStopMigration_Click();
  void CmdLocate_Click();
  // The close confirmation; true when the close may go ahead.
  bool Form_QueryUnload();

  // --- Loading, showing, the run ------------------------------------------------------------------------
  bool loaded() const { return loaded_; }
  // Creation state of every control, then Form_Load.
  void Load();
  void EnsureLoaded() {
    if (!loaded_) Load();
  }
  // Shows the window modeless over `owner`, loading it first when needed. A window already showing keeps
  // its place when it changes owner.
  void ShowOwnedBy(QWidget* owner);
  // Called when a run ends: a close confirmed during the run now unloads the window.
  void RunFinished();
  // Shows where Open Folder leads (OpenFolderTarget now).
  void ShowLocation();

  // ProgressBar1's single-precision numbers; the bar shows them rounded.
  void SetProgressMin(float value);
  void SetProgressMax(float value);
  void SetProgressValue(float value);
  float ProgressMin() const { return progress_min_; }
  float ProgressMax() const { return progress_max_; }
  float ProgressValue() const { return progress_value_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ResetToCreationState();
  QString LocationTarget() const;
  void UpdateBar();

  engine::RunState& run_state_;
  Desktop& desktop_;
  StatusContext context_;
  bool loaded_ = false;
  bool unload_after_run_ = false;
  bool closing_for_skip_ = false;
  float progress_min_ = 0;
  float progress_max_ = 100;
  float progress_value_ = 0;
};

}  // namespace velmora::status
