// The fields of one header list with their names read once. The envelope mapping asks for some twenty names
// per message; each lookup walked the list (or hashed the name) again and compared names case-insensitively.
#pragma once

#include <gmime/gmime.h>

#include <string_view>
#include <vector>

namespace velmora::mime {

class HeaderIndex {
 public:
  explicit HeaderIndex(GMimeHeaderList* headers);

  // The first field with this name in any case, as g_mime_header_list_get_header finds it; null when none.
  GMimeHeader* First(std::string_view name) const;

  // How many fields carry this name.
  size_t Count(std::string_view name) const;

  // Calls `f(header)` for every field with this name, in the order written.
  template <typename F>
  void ForEach(std::string_view name, F f) const {
    for (const Field& field : fields_) {
      if (SameName(field.name, name)) f(field.header);
    }
  }

  // Every field in the order written, with its name.
  struct Field {
    std::string_view name;  // GMime's, valid while the message lives
    GMimeHeader* header;
  };
  const std::vector<Field>& fields() const { return fields_; }

  // Names equal in ASCII case-insensitive comparison (as GMime compares them).
  static bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
  }

 private:
  static char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

  std::vector<Field> fields_;
};

}  // namespace velmora::mime
