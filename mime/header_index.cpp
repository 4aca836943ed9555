#include "mime/header_index.h"

namespace velmora::mime {
HeaderIndex::HeaderIndex(GMimeHeaderList* headers) {
  const int n = headers ? g_mime_header_list_get_count(headers) : 0;
  fields_.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    GMimeHeader* h = g_mime_header_list_get_header_at(headers, i);
    const char* name = g_mime_header_get_name(h);
    fields_.push_back({name ? std::string_view(name) : std::string_view(), h});
  }
}

GMimeHeader* HeaderIndex::First(std::string_view name) const {
  for (const Field& field : fields_) {
    if (SameName(field.name, name)) return field.header;
  }
  return nullptr;
}

size_t HeaderIndex::Count(std::string_view name) const {
  size_t n = 0;
  for (const Field& field : fields_) n += SameName(field.name, name) ? 1 : 0;
  return n;
}

}  // namespace velmora::mime
