#include "fsutil/file_queries.h"

#include "fsutil/sorted_listing.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {

namespace {
Platform* g_platform = nullptr;  // a test's stand-in for the system, or none
}  // namespace

Platform& CurrentPlatform() {
  return g_platform ? *g_platform : SystemPlatform();
}

void UsePlatform(Platform* platform) {
  g_platform = platform;
}
uint32_t PathAttributes(const std::string& path, uint32_t* error) {
  PathStat st;
  const uint32_t code = CurrentPlatform().Stat(path, &st);
  if (error) *error = code;
  return code == kErrorSuccess ? st.attributes : kInvalidAttributes;
}

FolderListing::FolderListing(uint32_t error) : error_(error) {}
FolderListing::FolderListing(std::unique_ptr<SortedListing> names) : names_(std::move(names)) {}
FolderListing::FolderListing(FolderListing&&) noexcept = default;
FolderListing::~FolderListing() = default;

bool FolderListing::Next(std::string* name) {
  if (!names_ || error_ != kErrorSuccess) return false;
  if (names_->Next(name, &error_)) return true;
  return false;
}

FolderListing ListFolder(const std::string& path) {
  auto names = std::make_unique<SortedListing>();
  uint32_t error = CurrentPlatform().ReadFolder(path, *names);
  if (error == kErrorSuccess) error = names->Finish();
  return error == kErrorSuccess ? FolderListing(std::move(names)) : FolderListing(error);
}

std::optional<FileId> PathIdentity(const std::string& path) {
  return CurrentPlatform().Identity(path);
}

std::string SystemErrorText(int32_t code) {
  if (code == 0) return "Error - File Possibly In Use/Locked";
  const std::optional<std::string> message = SystemMessage(static_cast<uint32_t>(code));
  const std::string prefix = "Error " + std::to_string(code) + " - ";
  if (!message) return prefix + "unknown error.";
  std::string cleaned;  // one line: each line end becomes one blank
  for (size_t i = 0; i < message->size(); ++i) {
    const char c = (*message)[i];
    if (c == '\r' && i + 1 < message->size() && (*message)[i + 1] == '\n') continue;
    if (c != '\0' && c != '\r') cleaned.push_back(c == '\n' ? ' ' : c);
  }
  return prefix + TrimBlanks(cleaned);
}

}  // namespace velmora::fsutil
