#include "mime/smime.h"

#include <string>

#include "mime/body_choice.h"
#include "mime/charset.h"
#include "mime/gobject_ptr.h"

namespace velmora::mime {
namespace {
bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

SmimeKind ClassifySmime(GMimeObject* root) {
  if (!root) return SmimeKind::kNone;
  std::string type = MimeTypeOf(root);
  if (type == "multipart/signed" && GMIME_IS_MULTIPART(root) &&
      g_mime_multipart_get_count(GMIME_MULTIPART(root)) > 0) {
    std::string protocol = Lower(OrEmpty(g_mime_object_get_content_type_parameter(root, "protocol")));
    if (protocol == "application/pkcs7-signature" || protocol == "application/x-pkcs7-signature") {
      return SmimeKind::kClearSigned;
    }
    return SmimeKind::kNone;
  }
  if (!GMIME_IS_PART(root)) return SmimeKind::kNone;
  if (type == "application/pkcs7-mime" || type == "application/x-pkcs7-mime") return SmimeKind::kOpaque;
  if (type == "application/octet-stream") {
    std::string name = Lower(OrEmpty(g_mime_part_get_filename(GMIME_PART(root))));
    if (EndsWith(name, ".p7m")) return SmimeKind::kOpaque;
  }
  return SmimeKind::kNone;
}

}  // namespace velmora::mime
