// Helpers shared by the mime tests: reading values back out of a MessageContent and locating test data.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mime/import.h"

namespace velmora::mime::testing {

std::optional<std::string> Str(const pst::PropertyMap& props, uint16_t id);
std::optional<int32_t> Int(const pst::PropertyMap& props, uint16_t id);
std::optional<bool> Bool(const pst::PropertyMap& props, uint16_t id);
std::optional<uint64_t> Time(const pst::PropertyMap& props, uint16_t id);
std::optional<std::vector<uint8_t>> Bytes(const pst::PropertyMap& props, uint16_t id);
std::string BytesAsString(const pst::PropertyMap& props, uint16_t id);  // "" when absent

// A named PS_INTERNET_HEADERS property's value.
std::optional<std::string> InternetHeader(const pst::MessageContent& m, const std::string& name);

// FILETIME of a UTC date and time.
uint64_t FileTime(int year, int month, int day, int hour, int minute, int second);

// mime/testdata/<name> in the source tree.
std::string TestDataPath(const std::string& name);
std::string ReadFile(const std::string& path);
// The message in the repository's tests/messages/<folder>/<name>, imported; throws when it does not import.
pst::MessageContent LoadTestMessage(const std::string& folder, const std::string& name);

// Imports a message given as text (LF line ends are turned into CRLF when `crlf`).
pst::MessageContent ImportText(const std::string& text, bool crlf = false, const ImportOptions& options = {});

// A readable outline of the whole content (for failure messages and manual inspection).
std::string Describe(const pst::MessageContent& m, int indent = 0);

}  // namespace velmora::mime::testing
