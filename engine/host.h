// What the engine needs from its front end (the wizard, the command-line converter, the tests): the run
// request it reads, the status display it writes and the questions it puts to the user.
//
// The engine never touches a window. It reads the request at the moment it needs each value (the wizard's
// pages stay live during a run), writes the status display field by field, asks its questions as typed calls
// and yields to the window system, all through this interface.
//
// The status display. Any access to a status field while the display is not loaded loads it first, and
// loading (besides resetting the display) empties both queues and clears both flags. The engine handles this
// in one place (Engine::EnsureStatusLoaded): before each status access it asks StatusLoaded(); when that is
// false it resets the run state itself (RunState::ResetForStatusLoad) and then calls LoadStatus(), which
// resets the display. A front end whose status display is always there (the command-line tool) answers true
// and is never asked to load. The wizard's status window calls RunState::ResetForStatusLoad when it loads
// itself too, so a load started by the front end (showing the window) resets the run state as well.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmora::engine {

// Yielding to the window system: pending window events run (the status display repaints, its buttons set the
// run flags). Long loops call it between items, so it must be cheap when there is nothing to do.
class Yielder {
 public:
  virtual ~Yielder() = default;
  virtual void Yield() = 0;
};

// --- The run request ---------------------------------------------------------------------------------------
enum class RunMode {
  kSingleMailbox,  // one mailbox folder; the user chooses where its .pst goes
  kMailboxList,    // every ticked mailbox of a list; each .pst goes to the output folder
};

struct Mailbox {
  bool ticked = false;
  std::string name;  // the mailbox folder's name
  std::string path;  // its full path
};

class RunRequest {
 public:
  virtual ~RunRequest() = default;
  virtual RunMode Mode() = 0;
  // kSingleMailbox: the mailbox folder.
  virtual std::string SourceFolder() = 0;
  // kMailboxList: the output folder, untrimmed.
  virtual std::string OutputFolder() = 0;
  // kMailboxList: the mailboxes offered, in order; indices run from 0.
  virtual int32_t MailboxCount() = 0;
  virtual Mailbox MailboxAt(int32_t index) = 0;
};

// --- The status display ------------------------------------------------------------------------------------
enum class StatusLine {
  kTitle,         // the display's title
  kCountLine,     // files queued, then what is converted from where
  kProgressLine,  // "n% Complete" and the skip and stop notes; read back as well as written
  kFrameText,     // which file of how many
  kCurrentFile,   // the current step or file
};

// The progress bar's numbers, single precision.
enum class ProgressField { kMin, kMax, kValue };

enum class ButtonState { kSkipEnabled, kStopVisible, kStopEnabled, kOpenFolderEnabled };

class StatusSink {
 public:
  virtual ~StatusSink() = default;
  virtual bool StatusLoaded() = 0;
  // Loads the status display: it takes its starting values.
  virtual void LoadStatus() = 0;
  virtual void SetLine(StatusLine line, const std::string& text) = 0;
  virtual std::string GetLine(StatusLine line) = 0;
  virtual void SetProgress(ProgressField field, float value) = 0;
  virtual float GetProgress(ProgressField field) = 0;
  virtual void SetButton(ButtonState button, bool on) = 0;
  // kMailboxList: the run has taken on the mailbox at `index` (the wizard greys its row and colours it).
  virtual void MarkMailboxTaken(int32_t index) = 0;
};

// --- Questions and messages to the user --------------------------------------------------------------------
enum class Notice {
  kStoreError,  // the store could not be opened; the mailbox ends there
  kCompleted,   // the run is over: what was converted and what was not
};

class UserQuestions {
 public:
  virtual ~UserQuestions() = default;
  // The user pressed Skip: true when the current mailbox is to end.
  virtual bool ConfirmSkip() = 0;
  // The user pressed Stop: true when the whole run is to end.
  virtual bool ConfirmStop() = 0;
  // kSingleMailbox: where the .pst goes, starting from `proposed_name`; nothing when the user cancelled.
  virtual std::optional<std::string> ChooseSavePath(const std::string& proposed_name) = 0;
  // The file at `pst_path` already holds messages converted from this mailbox: true when they are to be
  // skipped (the answer offered first), false when every message is to be added again.
  virtual bool ConfirmResume(const std::string& pst_path) = 0;
  // Lines are joined with CR LF.
  virtual void ShowMessage(Notice notice, const std::string& text) = 0;
  // A cancelled save or a confirmed stop closes the page the run was started from.
  virtual void CloseRequestPage() = 0;
};

class Host : public Yielder, public RunRequest, public StatusSink, public UserQuestions {};

}  // namespace velmora::engine
