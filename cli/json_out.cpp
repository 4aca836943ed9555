#include "cli/json_out.h"

#include <cstdio>

namespace velmora::cli {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one.
size_t Utf8Length(const std::string& s, size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) >> 6) != 0x2) return 0;
  return n;
}

}  // namespace

std::string JsonQuote(const std::string& s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = Utf8Length(s, i);
    if (n == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (n > 1) {
      out.append(s, i, n);
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
    i += n;
  }
  return out + "\"";
}

namespace {

std::string Failures(const std::vector<engine::FileFailure>& list, const char* key) {
  std::string out = "[";
  for (size_t k = 0; k < list.size(); ++k) {
    out += (k ? ", " : "") + std::string("{\"") + key + "\": " + JsonQuote(list[k].path) +
           ", \"reason\": " + JsonQuote(list[k].reason) + "}";
  }
  return out + "]";
}

}  // namespace

std::string JsonStrings(const std::vector<std::string>& list) {
  std::string out = "[";
  for (size_t k = 0; k < list.size(); ++k) out += (k ? ", " : "") + JsonQuote(list[k]);
  return out + "]";
}

std::string RunReportJson(const std::vector<engine::MailboxOutcome>& mailboxes,
                          const std::vector<engine::FileFailure>& unreadable_folders,
                          const std::vector<engine::FileFailure>& unreadable_files, bool stopped,
                          const std::string& verification) {
  std::string out = "{\"mailboxes\": [";
  for (size_t i = 0; i < mailboxes.size(); ++i) {
    const auto& m = mailboxes[i];
    out += i ? ", " : "";
    out += "{\"name\": " + JsonQuote(m.name) + ", \"source\": " + JsonQuote(m.source) +
           ", \"pst\": " + JsonQuote(m.pst) + ", \"queued\": " + std::to_string(m.queued) +
           ", \"converted\": " + std::to_string(m.converted) +
           ", \"already_present\": " + JsonStrings(m.already_present) +
           ", \"skipped\": " + JsonStrings(m.skipped);
    out += ", \"not_converted\": " + Failures(m.not_converted, "file") +
           ", \"folders_not_made\": " + Failures(m.folders_not_made, "folder") +
           ", \"other_files\": " + std::to_string(m.other_files) +
           ", \"not_reached\": " + std::to_string(m.not_reached) +
           ", \"reached\": " + (m.reached ? "true" : "false") +
           ", \"store_error\": " + JsonQuote(m.store_error) + ", \"save_error\": " + JsonQuote(m.save_error) +
           "}";
  }
  out += "], \"unreadable_folders\": " + Failures(unreadable_folders, "folder");
  out += ", \"unreadable_files\": " + Failures(unreadable_files, "file");
  out += std::string(", \"stopped\": ") + (stopped ? "true" : "false");
  if (!verification.empty()) out += ", \"verification\": " + verification;
  out += "}";
  return out;
}

}  // namespace velmora::cli
