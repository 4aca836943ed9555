#include "tests/messages/message_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "pst/tags/prop_tags.h"
#include "rdo/rdo_mail.h"
#include "tests/support/support.h"

namespace velmora::testing {

namespace {

constexpr size_t kBase64LineChars = 76;  // RFC 2045 6.8: encoded lines of at most 76 characters
constexpr size_t kBase64LineBytes = kBase64LineChars / 4 * 3;

std::string Base64(const std::string& bytes) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t v = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 16 |
                 static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8 |
                 static_cast<uint8_t>(bytes[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kAlphabet[(v >> s) & 63];
  }
  if (i < bytes.size()) {
    uint32_t v = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Base64Lines(const std::string& bytes) {
  std::string out;
  for (size_t at = 0; at < bytes.size(); at += kBase64LineBytes)
    out += Base64(bytes.substr(at, kBase64LineBytes)) + "\r\n";
  return out;
}

std::string RandomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

// Encoded words in several charsets (RFC 2047), with what they say in UTF-8 noted beside them.
const char* kEncodedSubjects[] = {
    "=?UTF-8?B?w5xiZXJ3ZWlzdW5nIGbDvHIgTcOkcno=?=",             // Überweisung für März
    "=?ISO-8859-1?Q?R=E9sum=E9_de_la_r=E9union?=",              // Résumé de la réunion
    "=?KOI8-R?B?8NLJ18XU?=",                                    // Привет
    "=?windows-1252?Q?=93Quoted=94_=80_price?=",                // “Quoted” € price
    "=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=",                       // 日本語
    "=?UTF-8?Q?caf=C3=A9?= and =?ISO-8859-7?B?xevr5+3p6tw=?=",  // café and Ελληνικά
};

}  // namespace

std::string SourceDir() {
  const char* env = std::getenv("VELMORA_SOURCE_DIR");
  return env && *env ? env : VELMORA_SOURCE_DIR_FALLBACK;
}

std::string WriteGeneratedEml(const std::string& dir, int index, uint32_t seed) {
  std::mt19937 rng(seed * 7919u + static_cast<uint32_t>(index));
  const int shape = index % 6;
  const std::string id = std::to_string(index);
  std::string m;
  m += "From: \"Sender " + id + "\" <sender" + id + "@example.com>\r\n";
  m += "To: Anna Adams <anna@example.com>";
  if (shape == 1 || shape == 3) m += ", \"Bert, B.\" <bert@example.org>, carl@example.net";
  m += "\r\n";
  if (shape == 1 || shape == 5) m += "Cc: =?UTF-8?Q?J=C3=BCrgen?= <juergen@example.de>\r\n";
  m += "Subject: Generated " + id + " " + kEncodedSubjects[static_cast<size_t>(index) % 6] + "\r\n";
  char date[64];
  std::snprintf(date, sizeof date, "Date: Mon, %02d Jan 2024 %02d:%02d:%02d +0%d00\r\n", 1 + index % 28,
                index % 24, index % 60, (index * 7) % 60, index % 10);
  m += date;
  m += "Message-ID: <gen-" + id + "-" + std::to_string(seed) + "@example.com>\r\n";
  m += "MIME-Version: 1.0\r\n";
  const std::string text =
      "Body of message " + id + ".\r\nSecond line with a number " + std::to_string(rng()) + ".\r\n";
  const std::string html = "<html><body><p>HTML body of message " + id + "</p></body></html>\r\n";
  switch (shape) {
    case 0:
      m += "Content-Type: text/plain; charset=us-ascii\r\n\r\n" + text;
      break;
    case 1:
      m += "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: "
           "quoted-printable\r\n\r\n"
           "Gr=FC=DFe aus K=F6ln, message " +
           id + ".\r\n";
      break;
    case 2:
      m += "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n--alt\r\nContent-Type: text/plain; "
           "charset=utf-8\r\n\r\n" +
           text + "--alt\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" + html + "--alt--\r\n";
      break;
    case 3: {
      m += "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n--mix\r\nContent-Type: text/plain; "
           "charset=utf-8\r\n\r\n" +
           text;
      const int attachments = 1 + index % 3;
      for (int a = 0; a < attachments; ++a) {
        size_t size = rng() % 20000 + static_cast<size_t>(a);
        m += "--mix\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; "
             "filename*=UTF-8''Anh%C3%A4nge-" +
             id + "-" + std::to_string(a) +
             ".bin\r\n"
             "Content-Transfer-Encoding: base64\r\n\r\n" +
             Base64Lines(RandomBytes(rng, size));
      }
      m += "--mix--\r\n";
      break;
    }
    case 4:
      m += "Content-Type: text/html; charset=utf-8\r\n\r\n" + html;
      break;
    default:
      m +=
          "Content-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n--outer\r\nContent-Type: "
          "text/plain\r\n\r\n" +
          text +
          "--outer\r\nContent-Type: message/rfc822\r\n\r\nFrom: inner@example.com\r\nTo: anna@example.com\r\n"
          "Subject: Inner " +
          id + "\r\nDate: Tue, 02 Jan 2024 08:00:00 +0000\r\n\r\nInner body.\r\n--outer--\r\n";
      break;
  }
  std::string path = dir + "/generated-" + id + ".eml";
  std::ofstream(path, std::ios::binary) << m;
  return path;
}

std::string WriteBigAttachmentEml(const std::string& dir, uint64_t bytes, uint32_t seed) {
  std::string path = dir + "/big-" + std::to_string(bytes) + ".eml";
  std::ofstream out(path, std::ios::binary);
  out << "From: Big Sender <big@example.com>\r\nTo: anna@example.com\r\nSubject: Big attachment " << bytes
      << "\r\nDate: Wed, 03 Jan 2024 12:00:00 +0000\r\nMessage-ID: <big-" << bytes
      << "@example.com>\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
         "Content-Type: text/plain\r\n\r\nSee the attachment.\r\n--b\r\nContent-Type: "
         "application/octet-stream\r\n"
         "Content-Disposition: attachment; filename=\"big.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
  std::mt19937 rng(seed);
  constexpr size_t kChunk = kBase64LineBytes * 1000;
  for (uint64_t done = 0; done < bytes;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, bytes - done));
    out << Base64Lines(RandomBytes(rng, n));
    done += n;
  }
  out << "--b--\r\n";
  return path;
}

bool ImportAsTheEngineDoes(rdo::RDOFolder& folder, const std::string& file, int32_t flags) {
  auto item = folder.Items()->Add(0);
  try {
    item->Import(file, 1024);
  } catch (const rdo::Error&) {
    return false;
  }
  rdo::CreateObjectAs<rdo::RDOMAPIUtils>("Redemption.MAPIUtils")
      ->HrSetOneProp(item->MAPIOBJECT(), pst::tags::kMessageFlags, flags, true);
  item->Save();
  return true;
}

namespace {
// Runs one of the reader scripts of this folder on `pst` with a manifest of `files`.
CompareResult RunReaderScript(const std::string& script, const std::string& pst, const std::string& folder,
                              const std::vector<std::string>& files, const std::vector<std::string>& args,
                              int unread) {
  CompareResult result;
  TempDir tmp;
  std::string manifest = tmp.str() + "/manifest.json";
  {
    std::ofstream out(manifest);
    out << "{\"folder\": " << JsonString(folder) << ", \"files\": [";
    for (size_t i = 0; i < files.size(); ++i) out << (i ? ", " : "") << JsonString(files[i]);
    out << "]";
    if (unread >= 0) out << ", \"unread\": " << unread;
    out << "}\n";
  }
  std::string cmd = "/usr/bin/python3 " + ShellQuote(SourceDir() + "/tests/messages/" + script) + " " +
                    ShellQuote(manifest) + " " + ShellQuote(pst);
  for (const auto& a : args) cmd += " " + ShellQuote(a);
  result.exit_code = RunCommand(cmd, &result.output);
  result.available = result.exit_code != 77;
  return result;
}
}  // namespace

CompareResult CompareWithReaders(const std::string& pst, const std::string& folder,
                                 const std::vector<std::string>& files,
                                 const std::vector<std::string>& require, int unread) {
  std::vector<std::string> args;
  for (const auto& r : require) {
    args.push_back("--require");
    args.push_back(r);
  }
  return RunReaderScript("compare_messages.py", pst, folder, files, args, unread);
}

CompareResult CheckExpectedFields(const std::string& pst, const std::string& folder,
                                  const std::vector<std::string>& files) {
  return RunReaderScript("expect_messages.py", pst, folder, files, {}, -1);
}

namespace {
// A "Name:   1234 kB" line of /proc/self/status, in bytes.
uint64_t ProcStatusBytes(const std::string& name) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(name + ":", 0) == 0)
      return std::strtoull(line.c_str() + name.size() + 1, nullptr, 10) * 1024;
  return 0;
}
}  // namespace

std::string PypffFolderCounts(const std::string& pst, const std::string& folder) {
  const std::string script =
      "import pypff,sys\nf=pypff.file();f.open(sys.argv[1])\n"
      "def walk(d):\n  for i in range(d.number_of_sub_folders):\n    s=d.get_sub_folder(i)\n"
      "    if s.name==sys.argv[2]: print(s.number_of_sub_messages)\n    "
      "walk(s)\nwalk(f.get_root_folder())\n";
  std::string out;
  if (RunCommand(
          "/usr/bin/python3 -c " + ShellQuote(script) + " " + ShellQuote(pst) + " " + ShellQuote(folder),
          &out) != 0)
    return "";
  return out;
}

uint64_t PeakRssBytes() {
  return ProcStatusBytes("VmHWM");
}

uint64_t RssBytes() {
  return ProcStatusBytes("VmRSS");
}

}  // namespace velmora::testing
