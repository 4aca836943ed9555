#include "rdo/source_key.h"

#include <xxhash.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "mime/byte_sources.h"
#include "pst/messaging/name_to_id_map.h"

namespace velmora::rdo {

std::string SourceDigest(const std::string& path) {
  auto file = mime::FileSource::Open(path);
  if (!file.ok()) return "";
  constexpr size_t kChunk = 256 * 1024;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kChunk]);
  std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> state(XXH3_createState(), XXH3_freeState);
  if (!state || XXH3_128bits_reset(state.get()) != XXH_OK) return "";
  const uint64_t size = (*file)->Size();
  for (uint64_t at = 0; at < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, size - at));
    if (!(*file)->Read(at, std::span<uint8_t>(buffer.get(), n)).ok()) return "";
    if (XXH3_128bits_update(state.get(), buffer.get(), n) != XXH_OK) return "";
    at += n;
  }
  const XXH128_hash_t h = XXH3_128bits_digest(state.get());
  char hex[33];
  std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(h.high64),
                static_cast<unsigned long long>(h.low64));
  return hex;
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
