#include "rdo/source_key.h"

#include <glib.h>

#include <algorithm>
#include <memory>

#include "mime/byte_sources.h"
#include "pst/messaging/name_to_id_map.h"

namespace velmora::rdo {

std::string SourceDigest(const std::string& path) {
  auto file = mime::FileSource::Open(path);
  if (!file.ok()) return "";
  constexpr size_t kChunk = 256 * 1024;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kChunk]);
  std::unique_ptr<GChecksum, void (*)(GChecksum*)> sum(g_checksum_new(G_CHECKSUM_SHA256), g_checksum_free);
  const uint64_t size = (*file)->Size();
  for (uint64_t at = 0; at < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, size - at));
    if (!(*file)->Read(at, std::span<uint8_t>(buffer.get(), n)).ok()) return "";
    g_checksum_update(sum.get(), buffer.get(), static_cast<gssize>(n));
    at += n;
  }
  return g_checksum_get_string(sum.get());
}

std::string SourceKeyText(const std::string& path, const std::string& root, uint64_t size,
                          const std::string& digest) {
  std::string relative;
  auto separator = [](char c) { return c == '/' || c == '\\'; };
  if (!root.empty() && path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
      (separator(root.back()) || separator(path[root.size()]))) {
    relative = path.substr(root.size());
  } else {
    relative = path.substr(path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1);
  }
  std::replace(relative.begin(), relative.end(), '\\', '/');
  relative.erase(0, relative.find_first_not_of('/'));
  return std::to_string(size) + " " + digest + " " + relative;
}

std::string SourceKeyOf(const pst::MessageContent& content) {
  for (const auto& np : content.named) {
    if (np.is_string && np.name == kSourceKeyProperty && np.guid == pst::kPsPublicStrings)
      return np.value.AsString().value_or("");
  }
  return "";
}

}  // namespace velmora::rdo
