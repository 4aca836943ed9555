// What the engine needs from its front end (the wizard, the command-line converter, the tests).
//
// The engine never touches a window. It reads the selection values at the moment it needs them, writes the
// status display field by field, asks message boxes and the save dialog, closes the single-folder page and
// yields to the window system, all through this interface.
//
// The status window. Any access to a status field while the status window is not loaded loads it first, and
// loading runs its load handler, which (besides resetting the display) empties both queues and clears both
// flags. The engine handles this in one place (Engine::EnsureStatusWindowLoaded): before each status access
// it asks StatusWindowLoaded(); when that is false it resets the run state itself
// (RunState::ResetForStatusLoad) and then calls LoadStatusWindow(), which resets the display. A front end
// whose status display is always there (the command-line tool) answers true and is never asked to load. The
// status window's own load handler calls RunState::ResetForStatusLoad too, so a load started by the front end
// (showing the window) resets the run state as well.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmora::engine {

// Yielding to the window system: pending window events run (the status window repaints, its buttons set the
// run flags). Long loops call it between items, so it must be cheap when there is nothing to do.
class Yielder {
 public:
  virtual ~Yielder() = default;
  virtual void Yield() = 0;
};

// The text fields of the status display.
enum class StatusText {
  kCaption,          // the status window's caption
  kLblCount1,        // the count line
  kLblProgress,      // "n% Complete" and the skip and stop notes; read back as well as written
  kFrameConversion,  // which file of how many
  kLblCurrentDbx,    // the current step
};

// ProgressBar1's numbers, single precision.
enum class ProgressField { kMin, kMax, kValue };

// The button states of the status display.
enum class ButtonState {
  kSkipEnabled,    // CmdSkip.Enabled
  kStopVisible,    // CmdStopMigration.Visible
  kStopEnabled,    // CmdStopMigration.Enabled
  kLocateEnabled,  // CmdLocate.Enabled
};

// Control names, for logs and recordings: "Caption", "lblCount1", "ProgressBar1.Value", "CmdSkip.Enabled",
// ...
const char* FieldName(StatusText field);
const char* FieldName(ProgressField field);
const char* FieldName(ButtonState field);

// Message boxes: the buttons, the icon and the answer, with the window system's values (vbOKOnly, vbYesNo,
// vbQuestion, vbInformation, vbOK, vbYes, vbNo).
enum class MessageBoxButtons : int32_t { kOkOnly = 0, kYesNo = 4 };
enum class MessageBoxIcon : int32_t { kNone = 0, kQuestion = 32, kInformation = 64 };
enum class MessageBoxAnswer : int32_t { kOk = 1, kYes = 6, kNo = 7 };

class Host : public Yielder {
 public:
  // --- Selection values, read when the engine needs them -----------------------------------------------
  // Mode: true for a single-mailbox run (the mode page's OptSingle).
  virtual bool Mode() = 0;
  // The single-folder page's source folder text.
  virtual std::string SourceFolder() = 0;
  // The multiple-folder page's output folder text, untrimmed.
  virtual std::string OutputFolder() = 0;
  // The mailbox rows of the multiple-folder page; positions run from 1.
  virtual int32_t MailboxRowCount() = 0;
  virtual bool RowTicked(int32_t position) = 0;
  virtual std::string RowText(int32_t position) = 0;                     // the mailbox folder's name
  virtual std::string RowSubItem1(int32_t position) = 0;                 // the mailbox folder's full path
  virtual void SetRowTextColour(int32_t position, uint32_t colour) = 0;  // 0x00BBGGRR
  virtual void SetRowGhosted(int32_t position, bool ghosted) = 0;

  // --- Status display --------------------------------------------------------------------------------------
  virtual bool StatusWindowLoaded() = 0;
  // Loads the status window: the display takes its starting values.
  virtual void LoadStatusWindow() = 0;
  virtual void SetStatusText(StatusText field, const std::string& text) = 0;
  virtual std::string GetStatusText(StatusText field) = 0;
  virtual void SetProgress(ProgressField field, float value) = 0;
  virtual float GetProgress(ProgressField field) = 0;
  virtual void SetButtonState(ButtonState field, bool on) = 0;

  // --- Dialogs and pages -----------------------------------------------------------------------------------
  // A modal message box; returns the button pressed.
  virtual MessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& title,
                                          MessageBoxButtons buttons, MessageBoxIcon icon) = 0;
  // The save-file dialog started with `proposed_name` and `filter` ("Description (*.pst)|*.pst"): the path
  // the user accepted, or nothing when the user cancelled (or the dialog failed).
  virtual std::optional<std::string> ShowSaveDialog(const std::string& proposed_name,
                                                    const std::string& filter) = 0;
  // Closes the single-folder page's window; the engine object and its fields remain.
  virtual void CloseSinglePage() = 0;
};

}  // namespace velmora::engine
