#include "mime/body_choice.h"

#include <string>

#include "mime/gobject_ptr.h"

namespace velmora::mime {
namespace {

enum class TextKind { kNone, kPlain, kEnriched, kHtml };

TextKind KindOf(GMimeObject* obj) {
  if (!GMIME_IS_PART(obj) || IsAttachmentDisposition(obj)) return TextKind::kNone;
  std::string type = MimeTypeOf(obj);
  if (type == "text/html") return TextKind::kHtml;
  if (type == "text/plain") return TextKind::kPlain;
  if (type == "text/enriched" || type == "text/richtext") return TextKind::kEnriched;
  return TextKind::kNone;
}

bool HasBody(const BodyChoice& c) {
  return c.html || c.plain;
}

void Take(BodyChoice& c, GMimeObject* leaf, TextKind kind) {
  if (kind == TextKind::kHtml) {
    if (!c.html) c.html = GMIME_PART(leaf);
  } else if (!c.plain || (c.plain_is_enriched && kind == TextKind::kPlain)) {
    c.plain = GMIME_PART(leaf);
    c.plain_is_enriched = kind == TextKind::kEnriched;
  }
  c.consumed.insert(leaf);
}

// The root of a multipart/related (RFC 2387): the child named by the "start" parameter, else the first child
// of the type the "type" parameter declares (mail programs put the images first), else the first child.
GMimeObject* RelatedRoot(GMimeMultipart* mp) {
  int n = g_mime_multipart_get_count(mp);
  if (n <= 0) return nullptr;
  const char* start = g_mime_object_get_content_type_parameter(GMIME_OBJECT(mp), "start");
  if (start) {
    std::string want(start);
    if (want.size() >= 2 && want.front() == '<' && want.back() == '>') want = want.substr(1, want.size() - 2);
    for (int i = 0; i < n; ++i) {
      GMimeObject* child = g_mime_multipart_get_part(mp, i);
      const char* cid = g_mime_object_get_content_id(child);
      if (cid && want == cid) return child;
    }
  }
  std::string type = OrEmpty(g_mime_object_get_content_type_parameter(GMIME_OBJECT(mp), "type"));
  for (char& ch : type) ch = static_cast<char>(g_ascii_tolower(ch));
  type.erase(0, type.find_first_not_of(" \t"));
  type.erase(type.find_last_not_of(" \t") + 1);
  if (!type.empty()) {
    for (int i = 0; i < n; ++i) {
      GMimeObject* child = g_mime_multipart_get_part(mp, i);
      if (MimeTypeOf(child) == type) return child;
    }
  }
  return g_mime_multipart_get_part(mp, 0);
}

void Find(GMimeObject* obj, BodyChoice& c, int depth, int max_depth);

// multipart/alternative: every alternative is looked at; HTML wins, plain text is kept beside it.
void FindInAlternative(GMimeMultipart* mp, BodyChoice& c, int depth, int max_depth) {
  int n = g_mime_multipart_get_count(mp);
  BodyChoice best;
  for (int i = 0; i < n; ++i) {
    GMimeObject* child = g_mime_multipart_get_part(mp, i);
    TextKind kind = KindOf(child);
    if (kind != TextKind::kNone) {
      if (kind == TextKind::kHtml) best.html = nullptr;  // a later HTML alternative is the better one
      Take(best, child, kind);
      continue;
    }
    if (GMIME_IS_MULTIPART(child)) {
      BodyChoice inner;
      Find(child, inner, depth + 1, max_depth);
      if (inner.html) best.html = inner.html;
      if (inner.plain && (!best.plain || best.plain_is_enriched)) {
        best.plain = inner.plain;
        best.plain_is_enriched = inner.plain_is_enriched;
      }
      best.consumed.insert(inner.consumed.begin(), inner.consumed.end());
    }
  }
  // Alternatives that lost are dropped too: they say the same thing as the body.
  c = std::move(best);
}

void Find(GMimeObject* obj, BodyChoice& c, int depth, int max_depth) {
  if (HasBody(c) || depth > max_depth || !obj) return;
  TextKind kind = KindOf(obj);
  if (kind != TextKind::kNone) {
    Take(c, obj, kind);
    return;
  }
  if (!GMIME_IS_MULTIPART(obj)) return;  // other leaves and message/rfc822 are never the body
  auto* mp = GMIME_MULTIPART(obj);
  std::string type = MimeTypeOf(obj);
  if (type == "multipart/alternative") {
    FindInAlternative(mp, c, depth, max_depth);
    return;
  }
  if (type == "multipart/related") {
    Find(RelatedRoot(mp), c, depth + 1, max_depth);
    return;
  }
  if (GMIME_IS_MULTIPART_ENCRYPTED(obj)) return;  // its parts are a version stamp and ciphertext
  int n = g_mime_multipart_get_count(mp);
  // multipart/signed: only the signed content can be the body, never the signature.
  if (GMIME_IS_MULTIPART_SIGNED(obj)) n = n > 0 ? 1 : 0;
  for (int i = 0; i < n && !HasBody(c); ++i) Find(g_mime_multipart_get_part(mp, i), c, depth + 1, max_depth);
}

}  // namespace

std::string MimeTypeOf(GMimeObject* object) {
  GMimeContentType* ct = g_mime_object_get_content_type(object);
  if (!ct) return "text/plain";
  std::string type = OrEmpty(g_mime_content_type_get_media_type(ct));
  std::string sub = OrEmpty(g_mime_content_type_get_media_subtype(ct));
  std::string out = (type.empty() ? "application" : type) + "/" + (sub.empty() ? "octet-stream" : sub);
  for (char& ch : out) ch = static_cast<char>(g_ascii_tolower(ch));
  return out;
}

bool IsAttachmentDisposition(GMimeObject* object) {
  GMimeContentDisposition* d = g_mime_object_get_content_disposition(object);
  return d && g_mime_content_disposition_is_attachment(d);
}

BodyChoice ChooseBody(GMimeObject* root, int max_depth) {
  BodyChoice c;
  Find(root, c, 0, max_depth);
  return c;
}

}  // namespace velmora::mime
