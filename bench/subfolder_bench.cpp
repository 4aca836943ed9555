// The cost of a commit in a folder of many sub-folders that receive messages: each commit changes the rows
// of the sub-folders that got messages (their counts) in the parent's hierarchy table. Prints, per commit,
// the CPU time of the commit alone and the bytes the process wrote for it (/proc/self/io wchar).
//
//   subfolder_bench OUT.pst [SUBFOLDERS [COMMITS [FOLDERS_PER_COMMIT [MESSAGES_EACH]]]]
//   (defaults 10000 20 50 20: every commit, 50 sub-folders get 20 messages each, as an import folder by
//   folder commits every few seconds)
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "pst/messaging/message_store.h"
#include "pst/ndb/node_database.h"
#include "pst/tags/prop_tags.h"

namespace pst = velmora::pst;

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

unsigned long long WrittenBytes() {
  std::ifstream io("/proc/self/io");
  std::string key;
  unsigned long long value = 0;
  while (io >> key >> value)
    if (key == "wchar:") return value;
  return 0;
}

int Fail(const char* what, const pst::Status& s) {
  std::fprintf(stderr, "%s: %s\n", what, s.ToString().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(
        stderr,
        "usage: subfolder_bench OUT.pst [SUBFOLDERS [COMMITS [FOLDERS_PER_COMMIT [MESSAGES_EACH]]]]\n");
    return 2;
  }
  const int subfolders = argc > 2 ? std::atoi(argv[2]) : 10000;
  const int commits = argc > 3 ? std::atoi(argv[3]) : 20;
  const int per_commit = argc > 4 ? std::atoi(argv[4]) : 50;
  const int messages = argc > 5 ? std::atoi(argv[5]) : 20;

  auto file = pst::OpenDiskFile(argv[1], pst::OpenMode::kCreateNew);
  if (!file.ok()) return Fail("open", file.status());
  auto db = pst::NodeDatabase::Create(std::shared_ptr<pst::File>(std::move(file).value()));
  if (!db.ok()) return Fail("create", db.status());
  auto ms = pst::MessageStore::Create(**db, {"Sub-folders", std::nullopt});
  if (!ms.ok()) return Fail("store", ms.status());
  auto parent = (*ms)->CreateFolder(*(*ms)->IpmSubtree(), "Parent");
  if (!parent.ok()) return Fail("folder", parent.status());
  std::vector<pst::Nid> children;
  for (int i = 0; i < subfolders; ++i) {
    auto child = (*ms)->CreateFolder(*parent, "Sub-folder " + std::to_string(i));
    if (!child.ok()) return Fail("sub-folder", child.status());
    children.push_back(*child);
  }
  if (auto s = (*ms)->Commit(); !s.ok()) return Fail("commit", s);

  double commit_cpu = 0, round_cpu = 0;
  unsigned long long commit_bytes = 0;
  for (int c = 0; c < commits; ++c) {
    const double round_start = CpuSeconds();
    for (int k = 0; k < per_commit; ++k) {
      const pst::Nid child = children[(static_cast<size_t>(c) * per_commit + k) * 7919 % children.size()];
      for (int m = 0; m < messages; ++m) {
        pst::MessageContent content;
        content.props[pst::TagId(pst::tags::kSubject)] =
            pst::PropValue::String("message " + std::to_string(m));
        content.props[pst::TagId(pst::tags::kMessageClass)] = pst::PropValue::String("IPM.Note");
        if (auto nid = (*ms)->AddMessage(child, content); !nid.ok()) return Fail("message", nid.status());
      }
    }
    const double cpu = CpuSeconds();
    const unsigned long long bytes = WrittenBytes();
    if (auto s = (*ms)->Commit(); !s.ok()) return Fail("commit", s);
    commit_cpu += CpuSeconds() - cpu;
    commit_bytes += WrittenBytes() - bytes;
    round_cpu += CpuSeconds() - round_start;
  }
  std::printf("%d sub-folders, %d commits of %d sub-folders x %d messages\n", subfolders, commits, per_commit,
              messages);
  std::printf("per commit: commit CPU %.2f ms, written %.0f KB; whole round CPU %.2f ms\n",
              1e3 * commit_cpu / commits, static_cast<double>(commit_bytes) / 1024.0 / commits,
              1e3 * round_cpu / commits);
  return 0;
}
