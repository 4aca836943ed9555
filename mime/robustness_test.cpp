// Hostile and broken input: unreadable files, garbage, truncation, extreme nesting and sizes. The importer
// must answer every one of them without crashing and within bounded time and memory.
#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "fsutil/testing/linux_only.h"
#include "fsutil/testing/temp_tree.h"
#include "mime/addresses.h"
#include "mime/byte_sources.h"
#include "mime/import.h"
#include "mime/prop_tags.h"
#include "mime/test_support.h"

namespace velmora::mime {
namespace {

using namespace testing;  // NOLINT
namespace t = tag;

pst::Result<pst::MessageContent> FromString(const std::string& s, const ImportOptions& o = {}) {
  return ImportEmlBytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()), o);
}

class ScratchDir {
 public:
  std::string Write(const std::string& name, const std::string& content) { return tree_.File(name, content); }
  const std::string& path() const { return tree_.root(); }

 private:
  fsutil::testing::TempTree tree_;
};

size_t OpenDescriptors() {
#ifdef _WIN32
  return 0;  // no /proc: the descriptor counts are checked on Linux
#endif
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// --- Unreadable files are errors

TEST(ImportErrors, MissingFileSaysItCannotBeRead) {
  auto r = ImportEml("/nonexistent/folder/mail.eml");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.status().code(), pst::Code::kIoError);
  EXPECT_NE(r.status().message().find("the file cannot be read"), std::string::npos);
  EXPECT_NE(r.status().message().find("/nonexistent/folder/mail.eml"), std::string::npos);
}

TEST(ImportErrors, FolderAndUnreadableFileAreErrors) {
  ScratchDir dir;
  auto r = ImportEml(dir.path());
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.status().message().find("is a folder"), std::string::npos);
  if (fsutil::testing::RunningAsRoot()) GTEST_SKIP() << "root reads files whatever their permissions";
  VELMORA_LINUX_ONLY("permission bits");
  std::string p = dir.Write("locked.eml", "Subject: x\n\nbody\n");
  std::filesystem::permissions(p, std::filesystem::perms::none);
  auto locked = ImportEml(p);
  ASSERT_FALSE(locked.ok());
  EXPECT_EQ(locked.status().code(), pst::Code::kIoError);
}

// --- Malformed content is converted as far as it goes

// A file with nothing in it holds no message: it is not converted, rather than stored as an empty item.
TEST(ImportMalformed, EmptyAndBlankFilesAreNoMessage) {
  for (const std::string s : {"", "\n", "\r\n\r\n", "   ", "\xFF\xFE"}) {
    auto r = FromString(s);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.status().message(), "empty file");
  }
  auto one_line = FromString("x\n");
  ASSERT_TRUE(one_line.ok());
  EXPECT_EQ(Str(one_line->props, t::kMessageClass), "IPM.Note");
}

TEST(ImportMalformed, RandomBytesNeverCrash) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 300; ++round) {
    std::string s(rng() % 4096, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    if (round % 3 == 0) s = "Content-Type: multipart/mixed; boundary=x\n\n--x\n" + s;
    auto r = FromString(s);
    EXPECT_TRUE(r.ok());
  }
}

TEST(ImportMalformed, EveryTruncationOfEveryTestMessageImports) {
  for (const char* name : {"attachments.eml", "embedded.eml", "inline_image.eml", "smime_signed.eml",
                           "headers_charsets.eml", "rfc2231.eml"}) {
    std::string full = ReadFile(TestDataPath(name));
    for (size_t len = 7; len <= full.size(); len += 7) {  // nothing at all is no message (see above)
      auto r = FromString(full.substr(0, len));
      ASSERT_TRUE(r.ok()) << name << " cut at " << len;
      // Whatever is left still has readable strings.
      auto subject = Str(r->props, t::kSubject);
      if (subject) {
        EXPECT_TRUE(g_utf8_validate(subject->data(), static_cast<gssize>(subject->size()), nullptr));
      }
    }
  }
}

TEST(ImportMalformed, UnclosedBoundariesAndMissingBoundaryParameter) {
  auto a = FromString(
      "Content-Type: multipart/mixed; boundary=zz\n\n--zz\nContent-Type: text/plain\n\nbody\n"
      "--zz\nContent-Type: image/png; name=a.png\nContent-Transfer-Encoding: base64\n\niVBORw0K");
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(Str(a->props, t::kBody), "body");
  ASSERT_EQ(a->attachments.size(), 1u);
  EXPECT_EQ(Str(a->attachments[0].props, t::kAttachLongFilename), "a.png");
  auto b = FromString("Content-Type: multipart/mixed\n\n--zz\nContent-Type: text/plain\n\nbody\n");
  ASSERT_TRUE(b.ok());
}

TEST(ImportMalformed, BadBase64AndUnknownEncodingsStillGiveData) {
  auto r = FromString(
      "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: application/x-a\n"
      "Content-Transfer-Encoding: base64\n\n!!!*%%%QUJD\n--b\n"
      "Content-Type: application/x-b\nContent-Transfer-Encoding: x-weird\n\nraw\n--b--\n");
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r->attachments.size(), 2u);
  EXPECT_EQ(BytesAsString(r->attachments[0].props, t::kAttachDataBinary), "ABC");  // junk skipped
  EXPECT_EQ(BytesAsString(r->attachments[1].props, t::kAttachDataBinary), "raw");
}

// --- Extremes stay bounded

TEST(ImportLimits, DeeplyNestedMultipartsAreWalkedToTheLimitOnly) {
  std::string s;
  const int depth = 3000;
  for (int i = 0; i < depth; ++i)
    s += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" + std::to_string(i) +
         "\n";
  s += "Content-Type: text/plain\n\ndeep\n";
  for (int i = depth - 1; i >= 0; --i) s += "--b" + std::to_string(i) + "--\n";
  auto start = std::chrono::steady_clock::now();
  auto r = FromString("Subject: deep\n" + s);
  ASSERT_TRUE(r.ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(r->props.count(t::kBody), 0u);  // beyond the walked depth: not reached, no crash
}

TEST(ImportLimits, DeeplyNestedMessagesStopExpandingAtTheDepthLimit) {
  std::string inner = "Subject: level 40\n\ninnermost\n";
  for (int i = 39; i >= 0; --i) {
    inner = "Subject: level " + std::to_string(i) + "\nContent-Type: message/rfc822\n\n" + inner;
  }
  auto r = FromString(inner);
  ASSERT_TRUE(r.ok());
  int expanded = 0;
  const pst::MessageContent* m = &*r;
  while (!m->attachments.empty() && m->attachments[0].embedded) {
    m = m->attachments[0].embedded.get();
    ++expanded;
  }
  EXPECT_EQ(expanded, 16);
  ASSERT_EQ(m->attachments.size(), 1u);
  EXPECT_EQ(Int(m->attachments[0].props, t::kAttachMethod), 1);  // the rest kept as an .eml file
}

TEST(ImportLimits, ThousandsOfPartsAreLinearAndCapped) {
  std::string s =
      "Subject: many\nContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nbody\n";
  for (int i = 0; i < 5000; ++i) {
    s += "--b\nContent-Type: application/octet-stream; name=f" + std::to_string(i) + ".bin\n\n" +
         std::to_string(i) + "\n";
  }
  s += "--b--\n";
  auto start = std::chrono::steady_clock::now();
  auto r = FromString(s);
  ASSERT_TRUE(r.ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(r->attachments.size(), 5000u);
  EXPECT_EQ(BytesAsString(r->attachments[4321].props, t::kAttachDataBinary), "4321");
  ImportOptions capped;
  capped.max_attachments = 100;
  auto c = FromString(s, capped);  // refused, never stored with attachments missing
  ASSERT_FALSE(c.ok());
  EXPECT_NE(c.status().message().find("more than 100 attachments"), std::string::npos);
  capped.max_attachments = 5000;
  EXPECT_TRUE(FromString(s, capped).ok());
}

TEST(ImportLimits, InlineMatchingStaysLinearWithManyPartsAndALargeBody) {
  std::string html = "<html><body>" + std::string(2 << 20, 'x') + "<img src=\"part7.gif\"></body></html>";
  std::string s =
      "Content-Type: multipart/related; boundary=b\n\n--b\nContent-Type: text/html\n\n" + html + "\n";
  for (int i = 0; i < 3000; ++i) {
    s += "--b\nContent-Type: image/gif\nContent-Location: part" + std::to_string(i) + ".gif\n\nGIF\n";
  }
  s += "--b--\n";
  auto start = std::chrono::steady_clock::now();
  auto r = FromString(s);
  ASSERT_TRUE(r.ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  ASSERT_EQ(r->attachments.size(), 3000u);
  EXPECT_EQ(Int(r->attachments[7].props, t::kAttachFlags), 4);
  EXPECT_EQ(Int(r->attachments[8].props, t::kAttachFlags), 0);
}

TEST(ImportLimits, MegabyteHeaderLinesAreFine) {
  std::string huge_subject(3 << 20, 'x');
  std::string to = "To: ";
  for (int i = 0; i < 20000; ++i) to += "u" + std::to_string(i) + "@example.com, ";
  auto r = FromString("Subject: " + huge_subject + "\n" + to + "\nX-Long: " + std::string(2 << 20, 'y') +
                      "\n\nbody\n");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(Str(r->props, t::kSubject)->size(), huge_subject.size());
  EXPECT_EQ(r->recipients.size(), 20000u);
  auto x_long = InternetHeader(*r, "x-long");
  ASSERT_TRUE(x_long);
  EXPECT_EQ(x_long->size(), 64u * 1024);  // generic header values are cut
}

// An address header past 256 KiB is read some addresses at a time: it gives exactly the mailboxes that the
// same addresses give in a short header, in order, whatever their shape (quoted comma, comment, group,
// encoded word, bare address).
TEST(ImportLimits, AVeryLongAddressHeaderReadsLikeShortOnes) {
  const std::string shapes =
      "\"Doe, John\" <john@example.com>, carl@example.com (Carl, the boss), Team: a@example.com, "
      "\"B\" <b@example.com>;, =?UTF-8?B?w4lsaXNl?= <elise@example.com>, plain@example.com";
  const std::vector<Mailbox> once = ParseMailboxes(shapes);
  ASSERT_EQ(once.size(), 6u);
  std::string value;
  size_t copies = 0;
  for (; value.size() <= 300 * 1024; ++copies) value += (value.empty() ? "" : ", ") + shapes;
  const std::vector<Mailbox> all = ParseMailboxes(value);
  ASSERT_EQ(all.size(), copies * once.size());
  for (size_t i = 0; i < all.size(); ++i) {
    ASSERT_EQ(all[i].name, once[i % once.size()].name) << i;
    ASSERT_EQ(all[i].address, once[i % once.size()].address) << i;
  }
}

// Header text past its bounds (4 MiB a field, 6 MiB and 50,000 fields a message) is removed before parsing;
// what follows it is still read, and the fields the structure depends on survive past the bounds.
TEST(ImportLimits, OverlongHeadersAreCutBeforeParsing) {
  const std::string line(50 << 20, 'x');
  auto one = FromString("Subject: " + line + "\nTo: anna@example.com\n\nbody\n");
  ASSERT_TRUE(one.ok());
  EXPECT_EQ(Str(one->props, t::kSubject)->size(), (4u << 20) - 9);  // the field's bytes less "Subject: "
  EXPECT_EQ(one->recipients.size(), 1u);

  std::string folded = "Subject: folded\nX-Long: a\n";
  for (int i = 0; i < 20000; ++i) folded += " " + std::string(998, 'y') + "\n";
  auto two = FromString(folded + "To: anna@example.com\n\nbody\n");
  ASSERT_TRUE(two.ok());
  EXPECT_EQ(two->recipients.size(), 1u);

  std::string many = "Subject: many\n";
  for (int i = 0; i < 60000; ++i) many += "X-F" + std::to_string(i) + ": v\n";
  auto three = FromString(many +
                          "To: anna@example.com\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
                          "Content-Type: text/plain\n\ntext\n--b\nContent-Type: application/x-a; "
                          "name=a.bin\n\nA\n--b--\n");
  ASSERT_TRUE(three.ok());
  EXPECT_EQ(three->recipients.size(), 0u);   // past the bounds: removed whole
  ASSERT_EQ(three->attachments.size(), 1u);  // Content-Type kept
  EXPECT_EQ(BytesAsString(three->attachments[0].props, t::kAttachDataBinary), "A");
}

TEST(ImportLimits, LargeAttachmentsSpillToOneUnlinkedTemporaryFile) {
  ScratchDir dir;
  std::string payload;
  std::mt19937 rng(7);
  for (int i = 0; i < (3 << 20); ++i) payload += static_cast<char>('A' + rng() % 26);
  std::string s = "Subject: big\nContent-Type: multipart/mixed; boundary=b\n\n";
  for (int i = 0; i < 3; ++i) {
    s += "--b\nContent-Type: application/octet-stream; name=big" + std::to_string(i) + ".bin\n\n" + payload +
         std::to_string(i) + "\n";
  }
  s += "--b--\n";
  std::string path = dir.Write("big.eml", s);
  ImportOptions o;
  o.memory_limit = 64 * 1024;
  o.temp_dir = dir.path();
  size_t fds_before = OpenDescriptors();
  auto r = ImportEml(path, o);
  ASSERT_TRUE(r.ok()) << r.status().message();
  ASSERT_EQ(r->attachments.size(), 3u);
  EXPECT_LE(OpenDescriptors(), fds_before + 2);  // the spill file (and nothing per attachment)
  auto entries = [&] {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++n;
    return n;
  };
#ifndef _WIN32
  EXPECT_EQ(entries(), 1u);  // only big.eml: the spill file has no name (on Windows it has until closed)
#endif
  for (int i = 0; i < 3; ++i) {
    const auto& v = r->attachments[i].props.at(t::kAttachDataBinary);
    ASSERT_TRUE(v.stream);
    EXPECT_TRUE(v.bytes.empty());
    ASSERT_EQ(v.Size(), payload.size() + 1);
    std::vector<uint8_t> tail(5);
    ASSERT_TRUE(v.stream->Read(v.Size() - 5, tail).ok());
    EXPECT_EQ(std::string(tail.begin(), tail.end()), payload.substr(payload.size() - 4) + std::to_string(i));
    std::vector<uint8_t> past(1);
    EXPECT_FALSE(v.stream->Read(v.Size(), past).ok());
  }
  r = pst::Status::InvalidArgument("released");  // dropping the values closes the spill file
  EXPECT_LE(OpenDescriptors(), fds_before);
  EXPECT_EQ(entries(), 1u) << "the spill file leaves nothing behind";

  // Many contents each below the limit: past the budget of a few limits they go to the file as well.
  std::string many = "Subject: many\nContent-Type: multipart/mixed; boundary=b\n\n";
  for (int i = 0; i < 100; ++i)
    many += "--b\nContent-Type: application/octet-stream\n\n" + payload.substr(0, 60000) + "\n";
  r = ImportEml(dir.Write("many.eml", many + "--b--\n"), o);
  ASSERT_TRUE(r.ok()) << r.status().message();
  ASSERT_EQ(r->attachments.size(), 100u);
  size_t in_memory = 0;
  for (const auto& a : r->attachments) {
    const auto& v = a.props.at(t::kAttachDataBinary);
    EXPECT_EQ(v.Size(), 60000u);
    if (v.stream && dynamic_cast<const MemorySource*>(v.stream.get())) in_memory += v.Size();
    if (!v.stream) in_memory += v.bytes.size();
  }
  EXPECT_LE(in_memory, 4u * o.memory_limit);
}

// Broken mail is repaired into a copy, in memory or, past the memory limit, in an unlinked temporary file:
// both read the same.
TEST(ImportLimits, RepairedMailReadsTheSameFromATemporaryCopy) {
  ScratchDir dir;
  ImportOptions in_memory;
  in_memory.temp_dir = dir.path();
  ImportOptions on_disk = in_memory;
  on_disk.memory_limit = 1;
  const char* src = std::getenv("VELMORA_SOURCE_DIR");
  std::string broken =
      std::string(src && *src ? src : VELMORA_MIME_SOURCE_ROOT) + "/tests/messages/broken_mail";
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(broken)) {
    if (e.path().extension() != ".eml") continue;
    auto a = ImportEml(e.path().string(), in_memory);
    auto b = ImportEml(e.path().string(), on_disk);
    ASSERT_TRUE(a.ok() && b.ok()) << e.path();
    EXPECT_EQ(Describe(*a), Describe(*b)) << e.path();
    ++files;
  }
  EXPECT_GE(files, 10);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // the copies have no name
}

TEST(ImportLimits, LongBodiesAreCutAtTheBodyLimit) {
  ImportOptions o;
  o.max_body_bytes = 1000;
  auto r = FromString("Subject: x\n\n" + std::string(5000, 'a') + "\n", o);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(Str(r->props, t::kBody)->size(), 1000u);
}

}  // namespace
}  // namespace velmora::mime
