#include "rdo/made_ahead.h"

#include "mime/import.h"
#include "mime/own_address.h"
#include "pst/messaging/message/prepared_message.h"
#include "pst/messaging/name_to_id_map.h"
#include "pst/tags/prop_tags.h"
#include "rdo/rdo_mail.h"
#include "rdo/source_key.h"

namespace velmora::rdo {

namespace {

// Larger files are finished ahead but their node is written by the store writer: a node made ahead is held
// in memory until placed.
constexpr uint64_t kLargestFileMadeAhead = 2u << 20;

}  // namespace

void FinishImport(pst::MessageContent& content, const std::string& path, const PathLook& look,
                  const std::string& display_name, const std::string& source_root, std::string digest) {
  // The store is named after the mailbox ("ann@example.org : Created - ..."), whose address it holds.
  mime::SetToMeFlags(mime::OwnAddressIn(display_name), content);
  if (std::string source = look.regular ? SourceFileText(path, look.stamp.size) : SourceFileText(path);
      !source.empty()) {
    pst::NamedProperty np;
    np.guid = pst::kPsPublicStrings;
    np.is_string = true;
    np.name = kSourceFileProperty;
    np.value = pst::PropValue::String(source);
    content.named.push_back(std::move(np));
  }
  if (!look.regular) return;
  if (digest.empty()) digest = SourceDigest(path);
  if (digest.empty()) return;
  pst::NamedProperty np;
  np.guid = pst::kPsPublicStrings;
  np.is_string = true;
  np.name = kSourceKeyProperty;
  np.value = pst::PropValue::String(SourceKeyText(path, source_root, look.stamp.size, digest));
  content.named.push_back(std::move(np));
}

void MakeAhead(ParsedEml& parsed, AheadWork& work) {
  if (!work.basis || parsed.digest.empty() || parsed.basis) return;
  const ImportBasis& basis = *work.basis;
  PathLook look;
  look.looked = look.regular = true;
  look.stamp = parsed.stamp;
  FinishImport(parsed.content, parsed.path, look, basis.display_name(), basis.source_root(), parsed.digest);
  parsed.basis = work.basis;
  // The node is made with the flags the caller sets before saving; the content keeps its own.
  if (parsed.stamp.size > kLargestFileMadeAhead) {
    parsed.held_bytes = HeldBytes(parsed.content);
    return;
  }
  auto& props = parsed.content.props;
  const uint16_t flags_id = pst::TagId(pst::tags::kMessageFlags);
  std::optional<pst::PropValue> own_flags;
  if (auto it = props.find(flags_id); it != props.end()) own_flags = it->second;
  props.insert_or_assign(flags_id, pst::PropValue::Int32(work.message_flags));
  auto made =
      pst::PrepareMessage(parsed.content, basis.names().Resolver(), {}, &work.scratch, basis.encoding());
  if (own_flags) {
    props.insert_or_assign(flags_id, std::move(*own_flags));
  } else {
    props.erase(flags_id);
  }
  parsed.held_bytes = HeldBytes(parsed.content);
  if (!made.ok()) return;  // the store writer writes it, and says why when it cannot
  parsed.prepared = std::make_shared<pst::PreparedMessage>(std::move(made).value());
  parsed.prepared_flags = work.message_flags;
  parsed.held_bytes += parsed.prepared->held_bytes;
}

}  // namespace velmora::rdo
