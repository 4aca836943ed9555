// StartMigration, second half: every queued ".eml" file becomes a message in the store folder that matches
// its folder in the export; the progress fields advance for every queued file; Skip and Stop are confirmed
// between files; the call ends by emptying the queues and logging the session off.
//
// Where a message goes (relative paths; default folders named InboxName and SentItemsName):
//   Inbox, Inbox\X        the default Inbox, X inside it
//   Sent, Sent\X          the default Sent Items, X inside it
//   any other folder      the store folder of the same path (made with the folder tree, or a default folder
//   of
//                         that name); when there is none the file is not converted and is reported
//   path holding "!"      the folder named by the text before the first "!"
//   the mailbox folder    the store's top folder
#include <cmath>

#include "engine/migration.h"
#include "engine/path_helpers.h"
#include "engine/text_rules.h"
#include "engine/texts.h"
#include "fsutil/path_strings.h"
#include "fsutil/platform_shim.h"
#include "rdo/rdo_session.h"

namespace velmora::engine {

namespace {

// Rounds to the nearest whole number, halves to the even neighbour (50.5 gives 50, 51.5 gives 52).
long RoundHalfEven(float v) {
  return std::lrint(static_cast<double>(v));
}

}  // namespace

std::string Migration::MessageFolderPath(const std::string& file, const std::string& sFolderPath) {
  std::string y = ToStorePath(CutMailboxPath(PathParent(file), sFolderPath));
  size_t bang = y.find('!');
  if (bang != std::string::npos) {
    engine_.Yield();
    y = fsutil::TrimBlanks(y.substr(0, bang)) + "\\";
  }
  if (!y.empty() && y[0] == '\\') y.erase(0, 1);
  if (y.rfind("Inbox\\", 0) == 0) y = ReplaceAll(y, "Inbox", InboxName);
  if (y.rfind("Sent\\", 0) == 0 && y.size() > 5) y = SentItemsName + y.substr(y.find('\\'));
  if (y == "Sent\\") y = SentItemsName + "\\";
  return y;
}

void Migration::ImportQueuedFiles(const std::string& sFolderPath) {
  auto& run = engine_.run_state();
  MessageNumber = 1;
  const std::vector<std::string> files =
      run.QueuedFiles ? run.QueuedFiles->Items() : std::vector<std::string>();
  for (const std::string& f : files) {
    if (HasEmlExtension(PathFileName(f))) {
      engine_.Yield();
      engine_.SetStatusText(StatusText::kLblCurrentDbx, "Converting Messages... from (" + f + ")");
      const std::string y = MessageFolderPath(f, sFolderPath);
      MessageFile = f;
      if (ImportMessage("\\\\" + StoreDisplayName + "\\" + y, f)) {
        ++Converted;
      } else {
        NotConverted.push_back(f);
      }
    }

    engine_.SetStatusText(StatusText::kFrameConversion,
                          "Reading Messages && Email Metadata - (" + std::to_string(MessageNumber) + " of " +
                              std::to_string(engine_.MessageCount) + ") File(s)");
    const double share =
        static_cast<double>(MessageNumber) / static_cast<double>(engine_.MessageCount) * 100.0;
    engine_.SetProgress(ProgressField::kValue, static_cast<float>(share));
    MessageNumber = CheckedIncrement(MessageNumber);
    engine_.SetStatusText(
        StatusText::kLblProgress,
        std::to_string(RoundHalfEven(engine_.GetProgress(ProgressField::kValue))) + "% Complete");

    if (run.SkipRequested) {
      auto answer = engine_.host().ShowMessageBox(texts::kConfirmSkipText, texts::kConfirmSkipTitle,
                                                  MessageBoxButtons::kYesNo, MessageBoxIcon::kNone);
      if (answer == MessageBoxAnswer::kYes) {
        engine_.Yield();
        engine_.SetStatusText(StatusText::kLblProgress,
                              "Skipped... at " + engine_.GetStatusText(StatusText::kLblProgress));
        engine_.SetStatusText(StatusText::kLblCount1, "Checking Next Folder...");
        break;
      }
      run.SkipRequested = false;
    }
    if (run.StopRequested) {
      auto answer = engine_.host().ShowMessageBox(texts::kConfirmStopText, texts::kConfirmStopTitle,
                                                  MessageBoxButtons::kYesNo, MessageBoxIcon::kNone);
      if (answer == MessageBoxAnswer::kYes) {
        engine_.Yield();
        engine_.SetStatusText(StatusText::kLblProgress,
                              "Stopped... at " + engine_.GetStatusText(StatusText::kLblProgress));
        engine_.SetStatusText(StatusText::kLblCount1, "Stopped...");
        // The session stays open, but everything saved so far is on disk before the call returns.
        ResumeNext().Run([&] { PstSession->Commit(); });
        engine_.host().CloseSinglePage();
        return;
      }
      run.StopRequested = false;
    }
  }

  run.EmptyQueues();
  engine_.Yield();
  ResumeNext().Run([&] { PstSession->Logoff(); });
  PstSession.reset();
}

}  // namespace velmora::engine
