#include "mime/tnef_content.h"

// libytnef's headers define BYTE, WORD, DWORD and ULONG as macros, so they stay inside this file; they
// declare C functions without saying so.
extern "C" {
#include <ytnef.h>
}

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "fsutil/quiet_stdout.h"
#include "mime/body_choice.h"
#include "mime/byte_sources.h"
#include "mime/charset.h"
#include "mime/gobject_ptr.h"
#include "mime/prop_tags.h"
#include "mime/spill_store.h"

namespace velmora::mime {
namespace {

using pst::PropValue;

constexpr size_t kMaxTnefBytes = 64u << 20;  // decoded in memory; a larger winmail.dat stays a file
constexpr uint16_t kRtfCompressed = 0x1009;  // PidTagRtfCompressed
constexpr uint16_t kRtfInSync = 0x0E1F;      // PidTagRtfInSync
constexpr uint16_t kPtString8 = 0x001E, kPtUnicode = 0x001F, kPtBinary = 0x0102, kPtObject = 0x000D;

struct TnefHolder {
  TNEFStruct tnef{};
  TnefHolder() {
    TNEFInitialize(&tnef);
    tnef.Debug = 0;  // left as it was by the initialiser; anything else prints the whole parse
  }
  ~TnefHolder() { TNEFFree(&tnef); }
  TnefHolder(const TnefHolder&) = delete;
  TnefHolder& operator=(const TnefHolder&) = delete;
};

// libytnef reports damaged input with printf on standard output, where velmora-convert and velmora-pst write
// their JSON: the parse runs with standard output sent to the null device (fsutil::QuietStdout), one parse at
// a time. Nothing else of the program writes to standard output while messages are read.
using fsutil::QuietStdout;

// A property's value; null when absent (the library's lookup answers MAPI_UNDEFINED, not null).
variableLength* Find(MAPIProps* props, unsigned tag) {
  variableLength* v = MAPIFindProperty(props, tag);
  return v == MAPI_UNDEFINED ? nullptr : v;
}

std::vector<uint8_t> BytesOf(const variableLength* v) {
  if (!v || !v->data || v->size <= 0) return {};
  return std::vector<uint8_t>(v->data, v->data + v->size);
}

// Text of a value up to its first NUL (the library hands out Unicode values already converted to UTF-8,
// with the size of the original).
std::string TextOf(const variableLength* v) {
  if (!v || !v->data || v->size <= 0) return "";
  std::string_view bytes(reinterpret_cast<const char*>(v->data), static_cast<size_t>(v->size));
  return DecodeUndeclared(bytes.substr(0, bytes.find('\0')));
}

// A string property in either of its types; "" when absent.
std::string StringProp(MAPIProps* props, unsigned id) {
  std::string text = TextOf(Find(props, PROP_TAG(kPtUnicode, id)));
  return text.empty() ? TextOf(Find(props, PROP_TAG(kPtString8, id))) : text;
}

// The class of the wrapped message in today's names; only classes of mail are taken (others, such as a
// meeting request, need properties this wrapper does not give here).
std::string MailClass(const std::string& tnef_class) {
  if (tnef_class.empty() || tnef_class == "IPM.Microsoft Mail.Note") return "";
  if (tnef_class == "IPM.Note" || tnef_class.rfind("IPM.Note.", 0) == 0) return tnef_class;
  return "";
}

bool RtfDecompresses(std::vector<uint8_t>& rtf) {
  if (rtf.size() < 16) return false;
  variableLength v{rtf.data(), static_cast<int>(rtf.size())};
  int size = 0;
  BYTE* plain = nullptr;
  {
    QuietStdout quiet;
    plain = DecompressRTF(&v, &size);
  }
  bool ok = plain && size > 0;
  std::free(plain);
  return ok;
}

}  // namespace

bool IsTnefPart(GMimeObject* object) {
  if (!GMIME_IS_PART(object)) return false;
  std::string type = MimeTypeOf(object);
  if (type == "application/ms-tnef" || type == "application/vnd.ms-tnef") return true;
  const char* name = g_mime_part_get_filename(GMIME_PART(object));
  return name && Lower(name) == "winmail.dat";
}

std::optional<TnefContent> DecodeTnef(GMimePart* part, std::vector<std::string>& notes) {
  bool truncated = false;
  std::string bytes = ReadPartContent(part, kMaxTnefBytes, &truncated);
  if (truncated) {
    notes.push_back("the TNEF part (winmail.dat) is larger than 64 MiB; it is kept as it is");
    return std::nullopt;
  }
  TnefHolder holder;
  TNEFStruct& t = holder.tnef;
  int parsed = -1;
  if (bytes.size() >= 6) {
    QuietStdout quiet;
    parsed = TNEFParseMemory(reinterpret_cast<BYTE*>(bytes.data()), static_cast<long>(bytes.size()), &t);
  }
  if (parsed < 0) {
    notes.push_back("the TNEF part (winmail.dat) could not be decoded; it is kept as it is");
    return std::nullopt;
  }
  TnefContent out;
  for (Attachment* a = t.starting_attach.next; a; a = a->next) {
    TnefFile f;
    f.name = StringProp(&a->MAPI, PR_ATTACH_LONG_FILENAME);
    if (f.name.empty()) f.name = TextOf(&a->Title);
    f.mime_type = Lower(StringProp(&a->MAPI, PR_ATTACH_MIME_TAG));
    f.content_id = StringProp(&a->MAPI, PR_ATTACH_CONTENT_ID);
    f.data = BytesOf(&a->FileData);
    if (f.data.empty()) {
      // Data kept as a property object: a 16-byte interface ID, then the bytes.
      for (unsigned type : {kPtObject, kPtBinary}) {
        std::vector<uint8_t> obj = BytesOf(Find(&a->MAPI, PROP_TAG(type, PR_ATTACH_DATA_OBJ)));
        if (type == kPtObject && obj.size() >= 16) obj.erase(obj.begin(), obj.begin() + 16);
        if (!obj.empty()) {
          f.data = std::move(obj);
          break;
        }
      }
    }
    if (f.data.empty() && f.name.empty()) continue;  // a rendering record with nothing in it
    out.files.push_back(std::move(f));
  }
  out.rtf_compressed = BytesOf(Find(&t.MapiProperties, PROP_TAG(kPtBinary, PR_RTF_COMPRESSED)));
  if (!out.rtf_compressed.empty() && !RtfDecompresses(out.rtf_compressed)) {
    notes.push_back("the RTF body inside the TNEF part could not be decompressed; it is left out");
    out.rtf_compressed.clear();
  }
  out.body = StringProp(&t.MapiProperties, PR_BODY);
  if (out.body.empty()) out.body = TextOf(&t.body);
  std::string klass = StringProp(&t.MapiProperties, PR_MESSAGE_CLASS);
  if (klass.empty()) klass = std::string(t.messageClass, strnlen(t.messageClass, sizeof t.messageClass));
  out.message_class = MailClass(klass);
  return out;
}

pst::Status AddTnefContent(TnefContent content, AttachmentNamer& namer, SpillStore& spill, uint64_t when,
                           size_t max_attachments, pst::MessageContent& out) {
  if (!out.props.count(tag::kBody) && !out.props.count(tag::kHtml)) {
    if (!content.rtf_compressed.empty()) {
      out.props[kRtfCompressed] = PropValue::Binary(std::move(content.rtf_compressed));
      out.props[kRtfInSync] = PropValue::Bool(true);
    }
    if (!content.body.empty()) out.props[tag::kBody] = PropValue::String(content.body);
    if (!content.message_class.empty())
      out.props[tag::kMessageClass] = PropValue::String(content.message_class);
  }
  for (TnefFile& f : content.files) {
    if (out.attachments.size() >= max_attachments)
      return pst::Status::InvalidArgument("the message has more than " + std::to_string(max_attachments) +
                                          " attachments, the most a converted message may have");
    std::string name = SanitizeFileName(f.name);
    std::string type = f.mime_type.empty() ? "application/octet-stream" : f.mime_type;
    // Through the spill store, so that large files leave memory as the other attachments do.
    GObjectPtr<GMimeStream> stream(
        f.data.empty()
            ? g_mime_stream_mem_new()
            : g_mime_stream_mem_new_with_buffer(reinterpret_cast<const char*>(f.data.data()), f.data.size()));
    std::vector<uint8_t>().swap(f.data);
    PST_ASSIGN_OR_RETURN(auto data, spill.Store(stream.get()));
    pst::AttachmentContent att =
        BlobAttachment(std::move(data), name.empty() ? "attachment.dat" : name, type, namer, when);
    if (!f.content_id.empty()) att.props[tag::kAttachContentId] = PropValue::String(f.content_id);
    out.attachments.push_back(std::move(att));
  }
  return pst::Status::Ok();
}

}  // namespace velmora::mime
