#include "cli/json_out.h"

namespace velmora::cli {
namespace {

Json Failures(const std::vector<engine::FileFailure>& list, const char* key) {
  Json out = Json::array();
  for (const auto& f : list) out.push_back({{key, f.path}, {"reason", f.reason}});
  return out;
}

}  // namespace

std::string JsonText(const Json& value) {
  return value.dump(-1, ' ', /*ensure_ascii=*/false, Json::error_handler_t::replace);
}

Json RunReport(const std::vector<engine::MailboxOutcome>& mailboxes,
               const std::vector<engine::FileFailure>& unreadable_folders,
               const std::vector<engine::FileFailure>& unreadable_files, bool stopped,
               const Json& verification) {
  Json list = Json::array();
  for (const auto& m : mailboxes) {
    list.push_back({{"name", m.name},
                    {"source", m.source},
                    {"pst", m.pst},
                    {"queued", m.queued},
                    {"converted", m.converted},
                    {"already_present", m.already_present},
                    {"skipped", m.skipped},
                    {"not_converted", Failures(m.not_converted, "file")},
                    {"remarks", Failures(m.remarks, "file")},
                    {"folders_not_made", Failures(m.folders_not_made, "folder")},
                    {"other_files", m.other_files},
                    {"not_reached", m.not_reached},
                    {"reached", m.reached},
                    {"store_error", m.store_error},
                    {"save_error", m.save_error}});
  }
  Json out = {{"mailboxes", std::move(list)},
              {"unreadable_folders", Failures(unreadable_folders, "folder")},
              {"unreadable_files", Failures(unreadable_files, "file")},
              {"stopped", stopped}};
  if (!verification.is_null()) out["verification"] = verification;
  return out;
}

}  // namespace velmora::cli
