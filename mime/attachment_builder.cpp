#include "mime/attachment_builder.h"

#include <optional>

#include "mime/body_choice.h"
#include "mime/charset.h"
#include "mime/dates.h"
#include "mime/file_names.h"
#include "mime/gobject_ptr.h"
#include "mime/header_params.h"
#include "mime/html_text.h"
#include "mime/prop_tags.h"

namespace velmora::mime {
namespace {

using pst::PropValue;

constexpr int32_t kAttRenderedInBody = 0x4;   // PidTagAttachFlags: shown inside the HTML body
constexpr int32_t kNoRenderingPosition = -1;  // 0xFFFFFFFF: not placed at a character position

std::string Trim(std::string s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// The parameter as this program decodes it from the raw header, when the header has it.
std::optional<std::string> RawParam(GMimeObject* object, const char* header, const char* param) {
  GMimeHeader* h = g_mime_header_list_get_header(g_mime_object_get_header_list(object), header);
  const char* raw = h ? g_mime_header_get_raw_value(h) : nullptr;
  std::optional<std::string> v = raw ? HeaderParameter(raw, param) : std::nullopt;
  if (v && v->empty()) v.reset();
  return v;
}

std::string Param(GMimeObject* object, const char* disposition_param, const char* type_param) {
  std::optional<std::string> own =
      disposition_param ? RawParam(object, "Content-Disposition", disposition_param) : std::nullopt;
  if (!own && type_param) own = RawParam(object, "Content-Type", type_param);
  if (own) return Trim(WithoutNuls(std::move(*own)));
  const char* v = disposition_param
                      ? g_mime_object_get_content_disposition_parameter(object, disposition_param)
                      : nullptr;
  if ((!v || !*v) && type_param) v = g_mime_object_get_content_type_parameter(object, type_param);
  return Trim(DecodeUndeclared(OrEmpty(v)));
}

}  // namespace

std::string ContentDescription(GMimeObject* object) {
  const char* v = g_mime_object_get_header(object, "Content-Description");
  std::string s = Trim(DecodeUndeclared(OrEmpty(v)));
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return s;
}

std::string AttachmentNamer::LongName(GMimeObject* object, const std::string& mime_type) {
  for (const std::string& candidate :
       {Param(object, "filename", nullptr), Param(object, nullptr, "name"), ContentDescription(object)}) {
    std::string clean = SanitizeFileName(candidate);
    if (!clean.empty()) return clean;
  }
  return GeneratedFileName(mime_type, ++generated_);
}

void SetAttachmentBasics(pst::PropertyMap& props, GMimeObject* object, const std::string& mime_type,
                         uint64_t default_time) {
  props[tag::kAttachMimeTag] = PropValue::String(mime_type);
  props[tag::kRenderingPosition] = PropValue::Int32(kNoRenderingPosition);
  props[tag::kAttachmentLinkId] = PropValue::Int32(0);
  props[tag::kAttachmentFlags] =
      PropValue::Int32(0);  // [MS-OXCMSG]: 0 unless another protocol says otherwise
  props[tag::kAttachmentContactPhoto] = PropValue::Bool(false);
  props[tag::kAttachFlags] = PropValue::Int32(0);
  props[tag::kAttachmentHidden] = PropValue::Bool(false);
  std::optional<uint64_t> created, modified;
  if (object) {
    created = ParseMailDate(Param(object, "creation-date", nullptr));
    modified = ParseMailDate(Param(object, "modification-date", nullptr));
  }
  props[tag::kCreationTime] = PropValue::Time(created.value_or(default_time));
  props[tag::kLastModificationTime] = PropValue::Time(modified.value_or(created.value_or(default_time)));
}

pst::Result<pst::AttachmentContent> ByValueAttachment(GMimePart* part, const InlineContext& ic,
                                                      AttachmentNamer& namer, SpillStore& spill,
                                                      uint64_t default_time) {
  auto* object = GMIME_OBJECT(part);
  std::string mime_type = MimeTypeOf(object);
  pst::AttachmentContent att;
  auto& p = att.props;
  SetAttachmentBasics(p, object, mime_type, default_time);
  std::string long_name = namer.LongName(object, mime_type);
  std::string description = ContentDescription(object);
  p[tag::kAttachMethod] = PropValue::Int32(tag::kAttachByValue);
  p[tag::kAttachLongFilename] = PropValue::String(long_name);
  p[tag::kAttachFilename] = PropValue::String(namer.ShortName(long_name));
  p[tag::kAttachExtension] = PropValue::String(FileExtension(long_name));
  p[tag::kDisplayName] = PropValue::String(description.empty() ? long_name : description);

  std::string cid = Trim(OrEmpty(g_mime_object_get_content_id(object)));
  std::string location = Trim(OrEmpty(g_mime_part_get_content_location(part)));
  if (!cid.empty()) p[tag::kAttachContentId] = PropValue::String(cid);
  if (!location.empty()) {
    p[tag::kAttachContentLocation] = PropValue::String(location);
    const char* base = g_mime_object_get_header(object, "Content-Base");
    if (base && *base) p[tag::kAttachContentBase] = PropValue::String(Trim(base));
  }
  bool shown_inline =
      (!cid.empty() && ic.cids.count(Lower(cid))) || (!location.empty() && ic.urls.count(Lower(location)));
  if (shown_inline) {
    p[tag::kAttachFlags] = PropValue::Int32(kAttRenderedInBody);
    p[tag::kAttachmentHidden] = PropValue::Bool(true);
  }
  if (mime_type.rfind("text/", 0) == 0) {
    const char* charset = g_mime_object_get_content_type_parameter(object, "charset");
    if (charset && *charset) p[tag::kTextAttachmentCharset] = PropValue::String(Trim(charset));
  }
  PST_ASSIGN_OR_RETURN(auto data, spill.StorePartContent(part));
  p[tag::kAttachDataBinary] = PropValue::Stream(pst::kPtypBinary, std::move(data));
  return att;
}

pst::AttachmentContent BlobAttachment(std::shared_ptr<const pst::ByteSource> data,
                                      const std::string& long_name, const std::string& mime_type,
                                      AttachmentNamer& namer, uint64_t default_time) {
  pst::AttachmentContent att;
  auto& p = att.props;
  SetAttachmentBasics(p, nullptr, mime_type, default_time);
  p[tag::kAttachMethod] = PropValue::Int32(tag::kAttachByValue);
  p[tag::kAttachLongFilename] = PropValue::String(long_name);
  p[tag::kAttachFilename] = PropValue::String(namer.ShortName(long_name));
  p[tag::kAttachExtension] = PropValue::String(FileExtension(long_name));
  p[tag::kDisplayName] = PropValue::String(long_name);
  p[tag::kAttachDataBinary] = PropValue::Stream(pst::kPtypBinary, std::move(data));
  return att;
}

}  // namespace velmora::mime
