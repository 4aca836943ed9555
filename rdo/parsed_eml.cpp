#include "rdo/parsed_eml.h"

#include "fsutil/file_io.h"
#include "mime/byte_sources.h"
#include "mime/import.h"
#include "rdo/source_key.h"

namespace velmora::rdo {

namespace {

// About what one entry of a property map or list costs besides its value: the tree node or vector slot, the
// value's header and the allocator's rounding.
constexpr uint64_t kEntryOverhead = 96;

uint64_t HeldBytes(const pst::PropValue& v) {
  uint64_t n = kEntryOverhead + v.bytes.capacity();
  if (auto* memory = dynamic_cast<const mime::MemorySource*>(v.stream.get())) n += memory->bytes().capacity();
  return n;
}

uint64_t HeldBytes(const pst::PropertyMap& props) {
  uint64_t n = 0;
  for (const auto& [id, v] : props) n += HeldBytes(v);
  return n;
}

}  // namespace

PathLook LookAt(const std::string& path) {
  PathLook look;
  fsutil::FileFacts facts;
  if (fsutil::FactsOfPath(path, &facts) != 0) return look;
  look.looked = true;
  look.regular = facts.regular;
  if (!look.regular) return look;
  look.stamp.device = facts.id.volume;
  look.stamp.inode = facts.id.index;
  look.stamp.size = facts.size;
  look.stamp.modified_ns = facts.modified_ns;
  look.stamp.changed_ns = facts.changed_ns;
  return look;
}

std::optional<FileStamp> StampOf(const std::string& path) {
  PathLook look = LookAt(path);
  if (!look.regular) return std::nullopt;
  return look.stamp;
}

pst::Result<pst::MessageContent> ReadEmlFile(const std::string& path) {
  return mime::ImportEml(path);
}

std::optional<ParsedEml> ParseEmlFile(const std::string& path, bool internet_header_properties,
                                      uint64_t max_file_bytes) {
  auto stamp = StampOf(path);
  if (!stamp || stamp->size > max_file_bytes) return std::nullopt;
  mime::ImportOptions options;
  options.internet_header_properties = internet_header_properties;
  auto content = mime::ImportEml(path, options);
  if (!content.ok()) return std::nullopt;
  ParsedEml out;
  out.path = path;
  out.stamp = *stamp;
  out.internet_header_properties = internet_header_properties;
  out.content = std::move(content).value();
  out.held_bytes = HeldBytes(out.content);
  out.digest = SourceDigest(path);
  return out;
}

uint64_t HeldBytes(const pst::MessageContent& content) {
  uint64_t n = HeldBytes(content.props);
  for (const auto& np : content.named) n += np.name.capacity() + HeldBytes(np.value);
  for (const auto& r : content.recipients)
    n += kEntryOverhead + r.brief.name.capacity() + r.brief.address.capacity() + HeldBytes(r.props);
  for (const auto& a : content.attachments) {
    n += kEntryOverhead + HeldBytes(a.props);
    if (a.embedded) n += HeldBytes(*a.embedded);
  }
  return n;
}

}  // namespace velmora::rdo
