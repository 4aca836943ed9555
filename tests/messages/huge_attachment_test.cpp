// An attachment a PST cannot hold (4 GiB or more) is refused before a byte of it is read or written, in words
// a user reads; a message abandoned after its blocks were written gives their space back to the disk at the
// next commit. Both without writing gigabytes: the sources only say how large they are.
#include <gtest/gtest.h>

#include <filesystem>

#include "pst/messaging/message_store.h"
#include "pst/ndb/node_database.h"
#include "pst/tags/prop_tags.h"
#include "tests/support/support.h"

namespace velmora::testing {
namespace {

// Zeros of a given size; reads past `fail_at` fail as a vanished source would.
class SizedSource : public pst::ByteSource {
 public:
  SizedSource(uint64_t size, uint64_t fail_at) : size_(size), fail_at_(fail_at) {}
  uint64_t Size() const override { return size_; }
  pst::Status Read(uint64_t offset, std::span<uint8_t> out) const override {
    if (offset + out.size() > fail_at_) return pst::Status::IoError("the source went away");
    std::fill(out.begin(), out.end(), uint8_t{0});
    bytes_read_ += out.size();
    return pst::Status::Ok();
  }
  uint64_t bytes_read() const { return bytes_read_; }

 private:
  uint64_t size_, fail_at_;
  mutable uint64_t bytes_read_ = 0;
};

pst::MessageContent WithAttachment(const std::string& subject, std::shared_ptr<SizedSource> data) {
  using namespace pst::tags;
  pst::MessageContent m;
  m.props[pst::TagId(kSubject)] = pst::PropValue::String(subject);
  m.props[pst::TagId(kMessageClass)] = pst::PropValue::String("IPM.Note");
  if (data) {
    pst::AttachmentContent a;
    a.props[pst::TagId(kAttachMethod)] = pst::PropValue::Int32(1);
    a.props[pst::TagId(kAttachLongFilename)] = pst::PropValue::String("x.iso");
    a.props[pst::TagId(kAttachDataBinary)] = pst::PropValue::Stream(pst::kPtypBinary, std::move(data));
    m.attachments.push_back(std::move(a));
  }
  return m;
}

TEST(HugeAttachmentTest, RefusedUnreadAndAbandonedSpaceGoesBack) {
  TempDir dir;
  const std::string path = dir.str() + "/huge.pst";
  auto file = pst::OpenDiskFile(path, pst::OpenMode::kCreateNew);
  ASSERT_TRUE(file.ok());
  auto db = pst::NodeDatabase::Create(std::shared_ptr<pst::File>(std::move(file).value()));
  ASSERT_TRUE(db.ok());
  auto ms = pst::MessageStore::Create(**db, {"Huge", std::nullopt});
  ASSERT_TRUE(ms.ok() && (*ms)->ValidateIpmTree().ok());
  auto folder = (*ms)->CreateFolder(*(*ms)->IpmSubtree(), "Big");
  ASSERT_TRUE(folder.ok() && (*ms)->Commit().ok());

  auto huge = std::make_shared<SizedSource>(4'500'000'000ull, UINT64_MAX);
  auto refused = (*ms)->AddMessage(*folder, WithAttachment("huge", huge));
  EXPECT_EQ(refused.status().message(),
            "attachment \"x.iso\" (4.5 GB) is larger than a PST can hold (4 GB per attachment)");
  EXPECT_EQ(huge->bytes_read(), 0u);

  // 40 MB written, then the source fails: the message is abandoned and its blocks freed.
  auto failing = std::make_shared<SizedSource>(40u << 20, 39u << 20);
  EXPECT_FALSE((*ms)->AddMessage(*folder, WithAttachment("failing", failing)).ok());
  EXPECT_GT(failing->bytes_read(), 38u << 20);
  ASSERT_TRUE((*ms)->AddMessage(*folder, WithAttachment("kept", nullptr)).ok());
  ASSERT_TRUE((*ms)->Commit().ok());
  EXPECT_LT(std::filesystem::file_size(path), 16u << 20) << "the 40 MB written for nothing went back";
  ms->reset();
  db->reset();

  auto check = CheckWithReaders(path, ExpectedTree{{"Big", 1}});
  if (!check.available) GTEST_SKIP() << "the independent readers are not installed";
  EXPECT_TRUE(check.ok) << check.output;
}

}  // namespace
}  // namespace velmora::testing
