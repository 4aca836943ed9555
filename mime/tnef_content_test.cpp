// TNEF-wrapped mail of our own making (tests/messages/tnef, written by make_tnef.py from the published
// layout): the wrapped files become the message's attachments, the RTF body and class are taken when the
// MIME message has no body, and a wrapper that cannot be decoded stays winmail.dat.
#include "mime/tnef_content.h"

#include <gtest/gtest.h>

#include "mime/prop_tags.h"
#include "mime/test_support.h"

namespace velmora::mime {
namespace {

using namespace testing;  // NOLINT: the value helpers

pst::MessageContent LoadTnef(const std::string& name) {
  return LoadTestMessage("tnef", name);
}

std::vector<std::string> Names(const pst::MessageContent& m) {
  std::vector<std::string> out;
  for (const auto& a : m.attachments) out.push_back(Str(a.props, tag::kAttachLongFilename).value_or("?"));
  return out;
}

TEST(TnefContent, WrappedFilesBodyAndClassComeOut) {
  auto rich = LoadTnef("tnef-rtf-body.eml");
  EXPECT_EQ(Names(rich), (std::vector<std::string>{"report.txt", "chart.png"}));
  EXPECT_EQ(Str(rich.attachments[0].props, tag::kAttachMimeTag), "text/plain");
  EXPECT_EQ(BytesAsString(rich.attachments[0].props, tag::kAttachDataBinary), "Monthly figures\r\n");
  auto rtf = Bytes(rich.props, 0x1009);
  ASSERT_TRUE(rtf.has_value());
  EXPECT_EQ(std::string(rtf->begin() + 8, rtf->begin() + 12), "LZFu");
  EXPECT_EQ(Str(rich.props, tag::kBody), "The rich body of the wrapped mail.");
  EXPECT_EQ(Str(rich.props, tag::kMessageClass), "IPM.Note");

  // The MIME body stays the body; the wrapped file is still taken out.
  auto plain = LoadTnef("tnef-beside-plain-body.eml");
  EXPECT_EQ(Names(plain), (std::vector<std::string>{"budget 2024.xlsx"}));
  EXPECT_FALSE(Bytes(plain.props, 0x1009).has_value());
  EXPECT_TRUE(plain.notes.empty());

  auto broken = LoadTnef("tnef-undecodable.eml");
  EXPECT_EQ(Names(broken), (std::vector<std::string>{"winmail.dat"}));
  EXPECT_EQ(broken.notes.size(), 1u);
}

}  // namespace
}  // namespace velmora::mime
