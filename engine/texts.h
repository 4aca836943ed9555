// The texts of a conversion, exactly as users see them: the engine writes the status lines and messages; the
// front ends give the questions and messages these titles and texts.
#pragma once

namespace velmora::engine::texts {

// The maker's web site; the help document of the store error lives below it.
inline constexpr const char* kProductSite = "https://www.velmora.com";
inline constexpr const char* kHelpDocumentPath = "/help/downgrade-office-2010-to-32-bit.pdf";

inline constexpr const char* kSaveFilter = "Outlook Data File(s) (*.pst)|*.pst";

inline constexpr const char* kOutlookErrorTitle = "Outlook Error";
// The store error when none of the known causes fits; the store's own description follows it.
inline constexpr const char* kStoreNotOpened = " could not be opened or created.";
inline constexpr const char* kDetailsPrefix = "Details: ";
// The lines below describe a session that could not be created at all; they follow the cause only then.
inline constexpr const char* kOutlookErrorLines[] = {
    "Outlook Session Creation Error !",
    "Check if Outlook is installed and configured.",
    "If Outlook 2013/2010 (64 Bit) is installed, then please try to re-install it as Outlook 2013/2010 (32 "
    "Bit).",
    "Here are steps to downgrade Outlook 2013/2010 to 32 Bit from 64 Bit Edition.",
};

inline constexpr const char* kSessionCreated = "Outlook Session Created...";
inline constexpr const char* kReadingFolders = "Reading Folder(s)...";
inline constexpr const char* kCreatingFolders = "Creating Outlook Folders...";

inline constexpr const char* kConfirmSkipTitle = "Confirm Skip";
inline constexpr const char* kConfirmSkipText = "Do you really want to \"Skip\" conversion of this folder ?";
inline constexpr const char* kConfirmStopTitle = "Confirm Stop";
inline constexpr const char* kConfirmStopText =
    "This action will STOP complete conversion process.\r\nDo you really want to \"STOP\" on-going "
    "conversion ?";

inline constexpr const char* kConfirmResumeTitle = "Already Converted";
// After the file's path: Yes keeps the messages it holds and adds only the others.
inline constexpr const char* kConfirmResumeText =
    " already holds messages converted from this source.\r\nSkip the messages it already holds? (No adds "
    "every message again.)";

inline constexpr const char* kCompletedTitle = "Completed";
inline constexpr const char* kSingleDoneLine1 = "Messages Converted Successfully.";
inline constexpr const char* kSingleDoneLine2 =
    "Open Converted Outlook Data file in Microsoft Outlook to View Converted Messages.";
inline constexpr const char* kMultipleDoneLine1 = "All Folders Converted Successfully.";
inline constexpr const char* kMultipleDoneLine2 =
    "Open Converted Outlook Data file(s) in Microsoft Outlook to View Individual files.";
// The completion message opens with these, instead of the success line, when not every message file became
// a message (or was left out by rule): what happened first, then the counts.
inline constexpr const char* kRunStopped = "Conversion stopped.";
inline constexpr const char* kMailboxSkipped = "Conversion of this mailbox was skipped.";
// In a run over several mailboxes: the mailbox's name stands between the two.
inline constexpr const char* kNamedMailboxSkipped[2] = {"Conversion of mailbox \"", "\" was skipped."};
inline constexpr const char* kNothingToConvert = "Nothing to convert: no message files (.eml) were found.";
inline constexpr const char* kNoFileChosen = "Nothing was converted: no Outlook data file was chosen.";
inline constexpr const char* kNoOutputFile =
    "Nothing was converted: the Outlook data file could not be opened.";
// Added after the number of export folders that got no folder in the store.
inline constexpr const char* kFoldersNotMadeSuffix = " folder(s) could not be made in the data file.";
// Added after the number of message files that the folder rules leave out on purpose.
inline constexpr const char* kSkippedSuffix =
    " message file(s) in Conversations, Notebook or Emailed Contacts were skipped.";
// Added after the number of folders that could not be listed; each follows on a line of its own with its
// reason.
inline constexpr const char* kUnreadableSuffix = " folder(s) could not be read:";
// Added after the number of files the scan could not read; each follows on a line of its own with its reason.
inline constexpr const char* kUnreadableFilesSuffix = " file(s) could not be read:";
// After the folders or files named, the number of those not named.
inline constexpr const char* kMoreSuffix = " more.";

// Message boxes carry this title unless they have one of their own.
inline constexpr const char* kAppTitle = "Velmora eM Client Converter";

}  // namespace velmora::engine::texts
