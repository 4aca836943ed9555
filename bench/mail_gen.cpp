// Writes a deterministic eM Client-style export: one folder per mailbox folder, one .eml file per message.
//
//   mail_gen OUT_DIR COUNT [--shape spread|one] [--mix real|small] [--seed N] [--max-attachment BYTES]
//
// Mixes (shares of messages; sizes are of the file on disk):
//   real   70% plain text (1-8 KB), 20% HTML with a text alternative (4-40 KB), 10% with one attachment whose
//          size is 20 KB * 250^(u^3), u uniform: 20 KB to 5 MB, most of them small, as mail attachments are.
//   small  the text and HTML messages of `real` only (no attachments), about 6 KB on average.
// Shapes:
//   spread  folders of a ten-year mailbox (Inbox, Sent, one per year below Archive, projects, lists), filled
//           unevenly: the first folders take most messages.
//   one     every message in Inbox.
// The same arguments always give the same bytes: one xorshift generator, seeded once, drives every choice.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Rng {
  uint64_t s;
  uint64_t Next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
  // Uniform in [lo, hi].
  uint64_t Range(uint64_t lo, uint64_t hi) { return lo + Next() % (hi - lo + 1); }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }  // / 2^53
};

constexpr const char* kWords[] = {
    "the",      "meeting",  "report",   "budget",  "schedule", "project", "review",   "client",  "invoice",
    "please",   "attached", "thanks",   "regards", "tomorrow", "update",  "quarter",  "figures", "draft",
    "contract", "delivery", "question", "answer",  "team",     "office",  "weekend",  "travel",  "hotel",
    "flight",   "customer", "support",  "release", "version",  "server",  "backup",   "account", "payment",
    "order",    "shipping", "holiday",  "agenda",  "minutes",  "notes",   "proposal", "plan",    "and",
    "of",       "to",       "for",      "with",    "on",       "we",      "you",      "will",    "can"};
constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];

constexpr const char* kPeople[] = {"Alice Martin",  "Bob Keller",   "Carol Nguyen", "David Okafor",
                                   "Eva Lindqvist", "Frank Moreau", "Grace Tanaka", "Hugo Silva",
                                   "Ines Novak",    "Jonas Berg"};
constexpr size_t kPeopleCount = sizeof kPeople / sizeof kPeople[0];

// Folders of the spread shape with their weights (parts of 100).
struct FolderShare {
  const char* path;
  int weight;
};
constexpr FolderShare kSpread[] = {{"Inbox", 30},
                                   {"Sent", 15},
                                   {"Archive/2016", 3},
                                   {"Archive/2017", 3},
                                   {"Archive/2018", 4},
                                   {"Archive/2019", 4},
                                   {"Archive/2020", 5},
                                   {"Archive/2021", 5},
                                   {"Archive/2022", 6},
                                   {"Archive/2023", 6},
                                   {"Archive/2024", 6},
                                   {"Archive/2025", 4},
                                   {"Projects/Apollo", 2},
                                   {"Projects/Borealis", 2},
                                   {"Lists/Announcements", 2},
                                   {"Receipts", 1},
                                   {"Drafts", 1},
                                   {"Deleted Items", 1}};

void Words(Rng& rng, std::string& out, size_t bytes, size_t line = 72) {
  size_t col = 0;
  const size_t end = out.size() + bytes;
  while (out.size() < end) {
    const char* w = kWords[rng.Next() % kWordCount];
    out += w;
    col += std::strlen(w) + 1;
    if (col >= line) {
      out += "\r\n";
      col = 0;
    } else {
      out += ' ';
    }
  }
  out += "\r\n";
}

std::string Address(size_t who) {
  std::string name = kPeople[who % kPeopleCount];
  std::string local = name.substr(0, name.find(' '));
  for (char& c : local) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name + " <" + local + "@example.com>";
}

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void Headers(Rng& rng, std::string& out, uint64_t index, const std::string& subject) {
  // Two to four relays, as delivered mail has; Date walks back ten years over the whole run.
  const int hops = static_cast<int>(rng.Range(2, 4));
  for (int h = 0; h < hops; ++h)
    out += "Received: from mx" + std::to_string(rng.Range(1, 40)) + ".example.net (mx.example.net [192.0.2." +
           std::to_string(rng.Range(1, 254)) + "])\r\n\tby mail.example.com with ESMTPS id " +
           std::to_string(rng.Next() % 1000000000) + "\r\n\tfor <alice@example.com>; Mon, 3 Mar 2025 10:0" +
           std::to_string(h) + ":00 +0000\r\n";
  const size_t from = rng.Next() % kPeopleCount;
  out += "From: " + Address(from) + "\r\nTo: " + Address(from + 1 + rng.Next() % (kPeopleCount - 1)) + "\r\n";
  if (rng.Next() % 3 == 0) out += "Cc: " + Address(rng.Next()) + ", " + Address(rng.Next()) + "\r\n";
  out += "Subject: " + subject + "\r\n";
  char date[80];
  const uint64_t day = rng.Next() % 3650;
  std::snprintf(date, sizeof date, "Date: %d %s %llu %02llu:%02llu:%02llu +0100\r\n",
                static_cast<int>(1 + day % 28), kMonths[(day / 28) % 12],
                static_cast<unsigned long long>(2016 + day / 365), static_cast<unsigned long long>(day % 24),
                static_cast<unsigned long long>(index % 60),
                static_cast<unsigned long long>(rng.Next() % 60));
  out += date;
  out += "Message-ID: <" + std::to_string(index) + "." + std::to_string(rng.Next() % 100000) +
         "@mail.example.com>\r\nMIME-Version: 1.0\r\n";
}

std::string Subject(Rng& rng) {
  std::string s = rng.Next() % 4 == 0 ? "Re: " : "";
  const int n = static_cast<int>(rng.Range(2, 7));
  for (int i = 0; i < n; ++i) s += std::string(i ? " " : "") + kWords[rng.Next() % kWordCount];
  return s;
}

void Base64(Rng& rng, std::string& out, uint64_t bytes, FILE* f) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  // 57 source bytes make one 76-character line.
  for (uint64_t done = 0; done < bytes; done += 57) {
    const uint64_t n = std::min<uint64_t>(57, bytes - done);
    uint8_t src[57];
    for (uint64_t i = 0; i < n; ++i) src[i] = static_cast<uint8_t>(rng.Next() >> 24);
    for (uint64_t i = 0; i < n; i += 3) {
      const uint32_t v = (src[i] << 16) | (i + 1 < n ? src[i + 1] << 8 : 0) | (i + 2 < n ? src[i + 2] : 0);
      out += kAlphabet[v >> 18];
      out += kAlphabet[(v >> 12) & 63];
      out += i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
      out += i + 2 < n ? kAlphabet[v & 63] : '=';
    }
    out += "\r\n";
    if (out.size() > (1u << 20)) {  // large attachments go out in pieces
      std::fwrite(out.data(), 1, out.size(), f);
      out.clear();
    }
  }
}

void Html(Rng& rng, std::string& out, size_t bytes) {
  out += "<html><head><meta charset=\"utf-8\"></head><body>\r\n";
  const size_t end = out.size() + bytes;
  while (out.size() < end) {
    out += rng.Next() % 5 ? "<p style=\"font-family:Calibri;font-size:11pt\">" : "<p><b>";
    Words(rng, out, rng.Range(80, 400));
    out += "</p>\r\n";
  }
  out += "</body></html>\r\n";
}

// Writes message `index` to `f`.
void Message(Rng& rng, uint64_t index, bool allow_attachments, uint64_t max_attachment, FILE* f) {
  std::string out;
  out.reserve(16384);
  const uint64_t kind = rng.Next() % 100;  // < 70 text, < 90 HTML, else attachment
  const bool attach = allow_attachments && kind >= 90;
  Headers(rng, out, index, Subject(rng));
  if (kind < 70 || (!allow_attachments && kind >= 90)) {
    out += "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    Words(rng, out, rng.Range(600, 6500));
  } else if (!attach) {
    out +=
        "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n--alt\r\n"
        "Content-Type: text/plain; charset=utf-8\r\n\r\n";
    const size_t text = rng.Range(800, 6000);
    Words(rng, out, text);
    out += "--alt\r\nContent-Type: text/html; charset=utf-8\r\n\r\n";
    Html(rng, out, text * 2);
    out += "--alt--\r\n";
  } else {
    out +=
        "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n--mix\r\n"
        "Content-Type: text/plain; charset=utf-8\r\n\r\n";
    Words(rng, out, rng.Range(300, 3000));
    const double u = rng.Unit();
    uint64_t size = static_cast<uint64_t>(20000.0 * std::pow(250.0, u * u * u));
    size = std::min(size, max_attachment);
    out += "--mix\r\nContent-Type: application/octet-stream; name=\"file" + std::to_string(index) +
           ".bin\"\r\nContent-Disposition: attachment; filename=\"file" + std::to_string(index) +
           ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    Base64(rng, out, size, f);
    out += "--mix--\r\n";
  }
  std::fwrite(out.data(), 1, out.size(), f);
}

int Usage() {
  std::fprintf(stderr,
               "usage: mail_gen OUT_DIR COUNT [--shape spread|one] [--mix real|small] [--seed N] "
               "[--max-attachment BYTES]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::filesystem::path root = argv[1];
  const long long count = std::strtoll(argv[2], nullptr, 10);
  std::string shape = "spread", mix = "real";
  uint64_t seed = 1, max_attachment = 5'000'000;
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--shape")
      shape = argv[i + 1];
    else if (opt == "--mix")
      mix = argv[i + 1];
    else if (opt == "--seed")
      seed = std::strtoull(argv[i + 1], nullptr, 10);
    else if (opt == "--max-attachment")
      max_attachment = std::strtoull(argv[i + 1], nullptr, 10);
    else
      return Usage();
  }
  if (count < 1 || (argc - 3) % 2 != 0 || (shape != "spread" && shape != "one") ||
      (mix != "real" && mix != "small"))
    return Usage();

  std::vector<std::filesystem::path> folders;
  std::vector<int> cumulative;
  int total = 0;
  for (const auto& share : kSpread) {
    if (shape == "one" && folders.size() == 1) break;
    folders.push_back(root / share.path);
    total += share.weight;
    cumulative.push_back(total);
    std::error_code ec;
    std::filesystem::create_directories(folders.back(), ec);
    if (ec) {
      std::fprintf(stderr, "mail_gen: %s: %s\n", folders.back().c_str(), ec.message().c_str());
      return 1;
    }
  }

  Rng rng{0x9E3779B97F4A7C15ull ^ (seed * 0xBF58476D1CE4E5B9ull)};
  uint64_t bytes = 0;
  for (long long i = 0; i < count; ++i) {
    const int pick = static_cast<int>(rng.Next() % static_cast<uint64_t>(total));
    size_t k = 0;
    while (cumulative[k] <= pick) ++k;
    char name[32];
    std::snprintf(name, sizeof name, "m%08lld.eml", i);
    const auto path = folders[k] / name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
      std::fprintf(stderr, "mail_gen: %s: %s\n", path.c_str(), std::strerror(errno));
      return 1;
    }
    Message(rng, static_cast<uint64_t>(i), mix == "real", max_attachment, f);
    bytes += static_cast<uint64_t>(std::ftell(f));
    if (std::fclose(f) != 0) {
      std::fprintf(stderr, "mail_gen: %s: write failed\n", path.c_str());
      return 1;
    }
  }
  std::printf("%lld messages, %llu bytes, %zu folders\n", count, static_cast<unsigned long long>(bytes),
              folders.size());
  return 0;
}
