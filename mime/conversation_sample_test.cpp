// The conversation ID against Outlook's own: every message of the Outlook-made sample files (in the shared
// folder) has a PidTagConversationId in its contents-table row, which our rule must give from the message's
// own properties. Skips when the shared folder is absent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "mime/conversation.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/ndb/node_database.h"
#include "pst/tags/prop_tags.h"

namespace velmora::mime {
namespace {

std::vector<pst::SubnodeEntry> SubnodesOf(pst::NodeStore& store, pst::Bid sub) {
  if (!sub) return {};
  auto s = store.ReadSubnodes(sub);
  return s.ok() ? *s : std::vector<pst::SubnodeEntry>();
}

TEST(ConversationIdOfOutlookSamples, EqualsTheIdInOutlooksRows) {
  const char* env = std::getenv("VELMORA_SHARED");
  const std::string dir = std::string(env && *env ? env : "/work/shared") + "/sample-pst";
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) GTEST_SKIP() << "no Outlook-made samples at " << dir;
  int compared = 0;
  for (const char* name : {"pstsdk-sample1.pst", "pstsdk-submessage.pst", "rubymsg-attachAndInline.pst",
                           "javalibpst-dist-list.pst"}) {
    SCOPED_TRACE(name);
    std::ifstream in(dir + "/" + name, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    auto db = pst::NodeDatabase::Open(std::make_shared<pst::MemoryFile>(std::move(bytes)), false);
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    std::vector<pst::NodeEntry> messages;
    ASSERT_TRUE((*db)
                    ->ForEachNode([&](const pst::NodeEntry& e) {
                      if (pst::NidTypeOf(e.nid) == pst::kNidTypeNormalMessage) messages.push_back(e);
                      return pst::Status::Ok();
                    })
                    .ok());
    for (const pst::NodeEntry& e : messages) {
      auto props = pst::ReadPropertyContext(**db, e.data, SubnodesOf(**db, e.sub));
      auto node = (*db)->FindNode(pst::MakeNid(pst::kNidTypeContentsTable, pst::NidIndexOf(e.parent)));
      ASSERT_TRUE(props.ok() && node.ok() && node->has_value());
      auto table = pst::ReadTableContext(**db, (*node)->data, SubnodesOf(**db, (*node)->sub));
      ASSERT_TRUE(table.ok());
      for (const pst::TableRow& row : table->rows) {
        auto cell = row.cells.find(pst::tags::kConversationId);
        if (row.row_id != e.nid || cell == row.cells.end()) continue;
        auto id = ConversationIdOf(*props);
        ASSERT_TRUE(id.has_value());
        EXPECT_EQ(std::vector<uint8_t>(id->begin(), id->end()), cell->second.bytes) << std::hex << e.nid;
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, 3);  // the mail message of each of the first three files; the last file's rows lack it
}

}  // namespace
}  // namespace velmora::mime
