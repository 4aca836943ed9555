#include "mime/import.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "fsutil/file_io.h"
#include "mime/attachment_builder.h"
#include "mime/body_choice.h"
#include "mime/body_props.h"
#include "mime/byte_sources.h"
#include "mime/calendar_meeting.h"
#include "mime/charset.h"
#include "mime/dates.h"
#include "mime/envelope.h"
#include "mime/file_names.h"
#include "mime/gobject_ptr.h"
#include "mime/header_repair.h"
#include "mime/input_text.h"
#include "mime/prop_tags.h"
#include "mime/report_kinds.h"
#include "mime/smime.h"
#include "mime/spill_store.h"
#include "mime/tnef_content.h"

namespace velmora::mime {
namespace {

using pst::PropValue;

class MessageBuilder {
 public:
  MessageBuilder(const ImportOptions& o, std::shared_ptr<const pst::ByteSource> source,
                 uint64_t fallback_time)
      : options_(o),
        source_(std::move(source)),
        spill_(o.temp_dir, o.memory_limit),
        fallback_time_(fallback_time) {}

  pst::Result<pst::MessageContent> Build(GMimeMessage* message, int depth) {
    pst::MessageContent out;
    EnvelopeOptions eo;
    eo.fallback_time = fallback_time_;
    eo.internet_header_properties = options_.internet_header_properties;
    MapEnvelope(message, eo, out);
    uint64_t when = out.props[tag::kMessageDeliveryTime].AsTime().value_or(fallback_time_);

    GMimeObject* root = g_mime_message_get_mime_part(message);
    AttachmentNamer namer;
    switch (ClassifySmime(root)) {
      case SmimeKind::kClearSigned: {
        out.props[tag::kMessageClass] = PropValue::String("IPM.Note.SMIME.MultipartSigned");
        GMimeObject* signed_content = g_mime_multipart_get_part(GMIME_MULTIPART(root), 0);
        BodyChoice choice = ChooseBody(signed_content, options_.max_mime_depth);
        PST_ASSIGN_OR_RETURN(auto ic, SetBodyProperties(choice, options_.max_body_bytes, spill_, out.props));
        (void)ic;
        // The whole signed entity, byte for byte, is the one attachment ([MS-OXOSMIME] 2.1.3.1).
        PST_ASSIGN_OR_RETURN(auto blob, SignedBlob(message, root, depth == 0));
        out.attachments.push_back(
            BlobAttachment(std::move(blob), "smime.p7m", "multipart/signed", namer, when));
        return out;
      }
      case SmimeKind::kOpaque: {
        out.props[tag::kMessageClass] = PropValue::String("IPM.Note.SMIME");
        pst::NamedProperty ct;
        ct.guid = tag::kPsInternetHeaders;
        ct.is_string = true;
        ct.name = "content-type";  // lower-cased like the other header names Outlook stores
        ct.value = PropValue::String(RawContentType(message));
        out.named.push_back(std::move(ct));
        PST_ASSIGN_OR_RETURN(auto att, ByValueAttachment(GMIME_PART(root), {}, namer, spill_, when));
        out.attachments.push_back(std::move(att));
        return out;
      }
      case SmimeKind::kNone:
        break;
    }
    out.props[tag::kMessageClass] = PropValue::String("IPM.Note");
    if (!root) return out;
    BodyChoice choice = ChooseBody(root, options_.max_mime_depth);
    PST_ASSIGN_OR_RETURN(auto ic, SetBodyProperties(choice, options_.max_body_bytes, spill_, out.props));
    if (!choice.html && !choice.plain) SetUnsplitMultipartText(root, out.props);
    GMimePart* calendar = FindCalendarPart(root, options_.max_mime_depth);
    if (calendar && MapMeeting(calendar, out)) choice.consumed.insert(GMIME_OBJECT(calendar));
    if (GMimeObject* status = MapReport(root, when, out)) choice.consumed.insert(status);
    PST_RETURN_IF_ERROR(CollectAttachments(root, choice, ic, namer, when, depth, out));
    for (const UuFile& f : ic.uuencoded) {
      auto data = std::make_shared<MemorySource>(std::vector<uint8_t>(f.data.begin(), f.data.end()));
      std::string name = SanitizeFileName(f.name);
      out.attachments.push_back(BlobAttachment(std::move(data), name.empty() ? "attachment.dat" : name,
                                               "application/octet-stream", namer, when));
    }
    return out;
  }

 private:
  struct Pending {
    GMimeObject* object;
    int depth;
  };

  pst::Status CollectAttachments(GMimeObject* root, const BodyChoice& choice, const InlineContext& ic,
                                 AttachmentNamer& namer, uint64_t when, int message_depth,
                                 pst::MessageContent& out) {
    std::vector<Pending> stack{{root, 0}};  // explicit stack: deep nesting costs heap, not call stack
    // Past the limit the message is refused rather than stored without some of its attachments: a message
    // that lost attachments must not pass for converted.
    auto room = [&]() -> pst::Status {
      if (out.attachments.size() < options_.max_attachments) return pst::Status::Ok();
      return pst::Status::InvalidArgument("the message has more than " +
                                          std::to_string(options_.max_attachments) +
                                          " attachments, the most a converted message may have");
    };
    while (!stack.empty()) {
      Pending p = stack.back();
      stack.pop_back();
      if (!p.object) continue;
      if (GMIME_IS_MULTIPART(p.object)) {
        if (p.depth >= options_.max_mime_depth) continue;
        auto* mp = GMIME_MULTIPART(p.object);
        for (int i = g_mime_multipart_get_count(mp) - 1; i >= 0; --i) {
          stack.push_back({g_mime_multipart_get_part(mp, i), p.depth + 1});
        }
        continue;
      }
      if (GMIME_IS_MESSAGE_PART(p.object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(p.object));
        GObjectPtr<GMimeMessage> empty;
        if (!inner) {  // an attached message with no content at all is still a message, an empty one
          empty.reset(g_mime_message_new(FALSE));
          inner = empty.get();
        }
        PST_RETURN_IF_ERROR(room());
        PST_ASSIGN_OR_RETURN(auto att, EmbeddedAttachment(p.object, inner, namer, when, message_depth));
        out.attachments.push_back(std::move(att));
        continue;
      }
      if (!GMIME_IS_PART(p.object) || choice.consumed.count(p.object)) continue;
      if (MimeTypeOf(p.object) == "message/rfc822") {
        if (GObjectPtr<GMimeMessage> inner = ParseEncodedMessage(GMIME_PART(p.object))) {
          PST_RETURN_IF_ERROR(room());
          PST_ASSIGN_OR_RETURN(auto att,
                               EmbeddedAttachment(p.object, inner.get(), namer, when, message_depth));
          out.attachments.push_back(std::move(att));
          continue;
        }
      }
      if (IsTnefPart(p.object)) {
        if (auto tnef = DecodeTnef(GMIME_PART(p.object), out.notes)) {
          PST_RETURN_IF_ERROR(
              AddTnefContent(std::move(*tnef), namer, spill_, when, options_.max_attachments, out));
          continue;
        }
      }
      PST_RETURN_IF_ERROR(room());
      PST_ASSIGN_OR_RETURN(auto att, ByValueAttachment(GMIME_PART(p.object), ic, namer, spill_, when));
      out.attachments.push_back(std::move(att));
    }
    return pst::Status::Ok();
  }

  // A multipart that names no boundary has no parts, and all of its content is what GMime calls the
  // prologue: that text is the body, as a mail program shows it.
  static void SetUnsplitMultipartText(GMimeObject* root, pst::PropertyMap& props) {
    if (!GMIME_IS_MULTIPART(root) || g_mime_multipart_get_count(GMIME_MULTIPART(root)) > 0 ||
        g_mime_object_get_content_type_parameter(root, "boundary"))
      return;
    std::string text = OrEmpty(g_mime_multipart_get_prologue(GMIME_MULTIPART(root)));
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return;
    props[tag::kBody] = PropValue::String(ToCrlf(WithoutNuls(DecodeUndeclared(text))));
  }

  // An attached message sent base64 or quoted-printable, which GMime leaves a plain part: decoded and
  // parsed. Null when it is too large to parse in memory or holds no message.
  static GObjectPtr<GMimeMessage> ParseEncodedMessage(GMimePart* part) {
    constexpr gint64 kMaxEncodedMessage = 16 << 20;  // parsed from a filter stream, so held in memory
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    GMimeStream* raw = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
    GMimeContentEncoding enc =
        content ? g_mime_data_wrapper_get_encoding(content) : GMIME_CONTENT_ENCODING_DEFAULT;
    if (!raw || (enc != GMIME_CONTENT_ENCODING_BASE64 && enc != GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE))
      return {};
    gint64 length = g_mime_stream_length(raw);
    if (length <= 0 || length > kMaxEncodedMessage) return {};
    GObjectPtr<GMimeStream> decoded(OpenDecodedStream(part));
    if (!decoded) return {};
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(decoded.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    return GObjectPtr<GMimeMessage>(g_mime_parser_construct_message(parser.get(), ImporterParserOptions()));
  }

  pst::Result<pst::AttachmentContent> EmbeddedAttachment(GMimeObject* object, GMimeMessage* inner,
                                                         AttachmentNamer& namer, uint64_t when,
                                                         int message_depth) {
    if (message_depth + 1 > options_.max_embedded_depth) {
      // Too deep to expand: keep the message as an .eml file.
      PST_ASSIGN_OR_RETURN(auto data, spill_.StoreObject(GMIME_OBJECT(inner)));
      return BlobAttachment(std::move(data), namer.LongName(object, "message/rfc822"), "message/rfc822",
                            namer, when);
    }
    PST_ASSIGN_OR_RETURN(auto content, Build(inner, message_depth + 1));
    pst::AttachmentContent att;
    SetAttachmentBasics(att.props, object, "message/rfc822", when);
    att.props[tag::kAttachMethod] = PropValue::Int32(tag::kAttachEmbeddedMessage);
    std::string subject = content.props.count(tag::kSubject)
                              ? content.props[tag::kSubject].AsString().value_or("")
                              : std::string();
    std::string description = ContentDescription(object);
    att.props[tag::kDisplayName] = PropValue::String(!subject.empty()       ? subject
                                                     : !description.empty() ? description
                                                                            : "message.eml");
    att.embedded = std::make_unique<pst::MessageContent>(std::move(content));
    return att;
  }

  // The Content-Type header of the message's top part as written (raw value, folded as it was).
  static GMimeHeader* ContentTypeHeader(GMimeMessage* message) {
    GMimeObject* root = g_mime_message_get_mime_part(message);
    if (!root) return nullptr;
    return g_mime_header_list_get_header(g_mime_object_get_header_list(root), "Content-Type");
  }

  static std::string RawContentType(GMimeMessage* message) {
    GMimeHeader* h = ContentTypeHeader(message);
    if (!h) return "";
    std::string v = TakeString(g_mime_utils_header_unfold(OrEmpty(g_mime_header_get_raw_value(h)).c_str()));
    size_t b = v.find_first_not_of(" \t");
    return b == std::string::npos ? "" : v.substr(b);
  }

  // The multipart/signed entity as the sender signed it. For the outermost message the bytes come straight
  // from the input: a Content-Type line rebuilt from the raw header, an empty line, then everything after the
  // header block. Embedded messages (and inputs where the header block cannot be located exactly) fall back
  // to GMime's serialisation, which keeps raw headers and undecoded contents.
  pst::Result<std::shared_ptr<const pst::ByteSource>> SignedBlob(GMimeMessage* message, GMimeObject* root,
                                                                 bool outermost) {
    if (outermost && source_) {
      if (auto body = BodyOffset(message)) {
        GMimeHeader* ct = ContentTypeHeader(message);
        // GMime keeps raw values with bare LF; the file's own line end (seen at the empty line) is restored.
        uint8_t before[2] = {0, 0};
        bool crlf = *body >= 2 && source_->Read(*body - 2, before).ok() && before[0] == '\r';
        std::string eol = crlf ? "\r\n" : "\n";
        std::string head = "Content-Type:";
        for (char c : ct ? OrEmpty(g_mime_header_get_raw_value(ct)) : std::string()) {
          if (c == '\r') continue;
          if (c == '\n')
            head += eol;
          else
            head += c;
        }
        if (head.size() < eol.size() || head.compare(head.size() - eol.size(), eol.size(), eol) != 0)
          head += eol;
        head += eol;
        std::vector<std::shared_ptr<const pst::ByteSource>> parts{
            std::make_shared<MemorySource>(std::vector<uint8_t>(head.begin(), head.end())),
            std::make_shared<SliceSource>(source_, *body, source_->Size() - *body)};
        return std::shared_ptr<const pst::ByteSource>(std::make_shared<ConcatSource>(std::move(parts)));
      }
    }
    return spill_.StoreObject(root);
  }

  // Offset of the first body byte: just after the first empty line that follows the start of the last
  // header. Folded header lines are never empty, so that line ends the block.
  std::optional<uint64_t> BodyOffset(GMimeMessage* message) {
    gint64 last = -1;
    for (GMimeHeader* h : HeaderBlock(message)) last = std::max(last, g_mime_header_get_offset(h));
    if (last < 0) return std::nullopt;
    // The blank line is nearly always within a few hundred bytes of the last header's start: small reads
    // keep the rest of the message out of this scan.
    constexpr size_t kChunk = 4 * 1024;
    constexpr uint64_t kMaxScan = 64ull << 20;  // a header longer than this is not worth the exact copy
    uint64_t size = source_->Size();
    uint64_t pos = static_cast<uint64_t>(last);
    // States: 0 inside a line, 1 just after '\n', 2 after "\n\r".
    int state = 0;
    std::unique_ptr<uint8_t[]> buf(new uint8_t[kChunk]);  // not zeroed: each read fills what is scanned
    while (pos < size && pos - static_cast<uint64_t>(last) < kMaxScan) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, size - pos));
      if (!source_->Read(pos, std::span<uint8_t>(buf.get(), n)).ok()) return std::nullopt;
      for (size_t i = 0; i < n; ++i) {
        uint8_t c = buf[i];
        if (c == '\n') {
          if (state != 0) return pos + i + 1;
          state = 1;
        } else if (c == '\r' && state == 1) {
          state = 2;
        } else if (c != '\r') {
          state = 0;
        }
      }
      pos += n;
    }
    return std::nullopt;
  }

  const ImportOptions& options_;
  std::shared_ptr<const pst::ByteSource> source_;
  SpillStore spill_;
  uint64_t fallback_time_;
};

// Where the message starts: after a UTF-8 byte-order mark (editors put one in front of saved mail), blank
// lines and an mbox "From " separator line, which GMime would take for the end of an empty header block.
uint64_t MessageStart(const pst::ByteSource& source) {
  constexpr size_t kLook = 64 * 1024;  // leading junk longer than this is left to GMime
  // A first short look decides for nearly every file (it starts with a header); only a file that is still
  // undecided at its end takes the whole look.
  constexpr size_t kFirstLook = 4 * 1024;
  for (size_t look : {kFirstLook, kLook}) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(look, source.Size()));
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[n]);  // not zeroed: the read fills what is scanned
    std::span<uint8_t> head(buffer.get(), n);
    if (!source.Read(0, head).ok()) return 0;
    const bool whole_look = look == kLook || head.size() == source.Size();
    static constexpr uint8_t kUtf8Bom[] = {0xEF, 0xBB, 0xBF};
    size_t pos = head.size() >= 3 && std::equal(kUtf8Bom, kUtf8Bom + 3, head.begin()) ? 3 : 0;
    while (true) {
      size_t eol = pos;
      while (eol < head.size() && head[eol] != '\n') ++eol;
      if (eol >= head.size()) {
        if (whole_look) return pos;  // no complete line left to skip
        break;
      }
      bool blank = true;
      for (size_t i = pos; i < eol; ++i)
        blank = blank && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r');
      static constexpr char kMboxFrom[] = "From ";
      bool mbox_from =
          eol - pos >= 5 && std::equal(kMboxFrom, kMboxFrom + 5, head.begin() + static_cast<ptrdiff_t>(pos));
      if (!blank && !mbox_from) return pos;
      pos = eol + 1;
    }
  }
  return 0;  // not reached: the whole look always decides
}

// The repaired input, copied (repairs are for broken mail, which is rare): in memory when small, else in an
// unlinked temporary file. GMime reads `stream`; `source` holds the same bytes for exact copies.
struct RepairedInput {
  GObjectPtr<GMimeStream> stream;
  std::shared_ptr<const pst::ByteSource> source;
};

pst::Result<RepairedInput> CopyRepaired(const pst::ByteSource& edited, const ImportOptions& options) {
  RepairedInput out;
  uint64_t size = edited.Size();
  if (size <= options.memory_limit) {
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    PST_RETURN_IF_ERROR(edited.Read(0, bytes));
    out.stream.reset(bytes.empty() ? g_mime_stream_mem_new()
                                   : g_mime_stream_mem_new_with_buffer(
                                         reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    out.source = std::make_shared<MemorySource>(std::move(bytes));
    return out;
  }
  PST_ASSIGN_OR_RETURN(auto file, CreateUnlinkedTempFile(options.temp_dir));
  int fd = file->fd();
  constexpr size_t kChunk = 64 * 1024;
  std::vector<uint8_t> buf(kChunk);
  for (uint64_t at = 0; at < size;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, size - at));
    PST_RETURN_IF_ERROR(edited.Read(at, std::span<uint8_t>(buf.data(), n)));
    if (const int err = fsutil::WriteAt(fd, buf.data(), n, at); err != 0)
      return pst::Status::IoError(std::string("cannot write the temporary file: ") + fsutil::ErrorText(err));
    at += n;
  }
  int dup = -1;
  if (const int err = fsutil::DuplicateAt(fd, 0, &dup); err != 0)
    return pst::Status::IoError(std::string("cannot read the temporary file: ") + fsutil::ErrorText(err));
  file->Grow(size);
  // The stream owns the duplicate and reads from offset 0.
  out.stream.reset(g_mime_stream_fs_new(dup));
  out.source = std::move(file);
  return out;
}

pst::Result<pst::MessageContent> ImportFromStream(GMimeStream* whole,
                                                  std::shared_ptr<const pst::ByteSource> source,
                                                  const ImportOptions& options, uint64_t fallback_time) {
  const InputShape shape = ShapeOfInput(*source);
  if (shape == InputShape::kNothing) return pst::Status::InvalidArgument("empty file");
  constexpr uint64_t kMaxConvertedInput = 64 << 20;  // converted in memory; a larger file is read as it is
  PST_ASSIGN_OR_RETURN(auto converted, NormalisedInput(*source, shape, kMaxConvertedInput));
  GObjectPtr<GMimeStream> converted_stream;
  if (converted && converted->empty()) return pst::Status::InvalidArgument("empty file");
  if (converted) {
    auto memory = std::make_shared<MemorySource>(std::move(*converted));
    converted_stream.reset(g_mime_stream_mem_new_with_buffer(
        reinterpret_cast<const char*>(memory->bytes().data()), memory->Size()));
    whole = converted_stream.get();
    source = std::move(memory);
  }
  uint64_t start = MessageStart(*source);
  std::vector<InputEdit> edits = FindHeaderRepairs(*source, start);
  GObjectPtr<GMimeStream> sub;
  GMimeStream* stream = whole;
  if (!edits.empty()) {
    // Offsets GMime reports are then offsets into the repaired copy, which the source must match.
    PST_ASSIGN_OR_RETURN(auto repaired, CopyRepaired(*ApplyEdits(source, start, edits), options));
    sub = std::move(repaired.stream);
    source = std::move(repaired.source);
    stream = sub.get();
  } else if (start > 0) {
    sub.reset(g_mime_stream_substream(whole, static_cast<gint64>(start), -1));
    stream = sub.get();
  }
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), ImporterParserOptions()));
  if (!message) {
    // Nothing GMime could read as a message: an empty note rather than an error.
    message.reset(g_mime_message_new(TRUE));
  }
  MessageBuilder builder(options, std::move(source), fallback_time);
  return builder.Build(message.get(), 0);
}

}  // namespace

namespace {

// Bytes GMime's memory stream owns, a source for as long as a value of the message reads from them.
class StreamBytes final : public pst::ByteSource {
 public:
  StreamBytes(GMimeStream* stream, GByteArray* bytes) : stream_(stream), bytes_(bytes) {
    g_object_ref(stream);
  }
  uint64_t Size() const override { return bytes_->len; }
  pst::Status Read(uint64_t offset, std::span<uint8_t> out) const override {
    if (offset > bytes_->len || out.size() > bytes_->len - offset)
      return pst::Status::InvalidArgument("read past the end of the message");
    if (!out.empty()) std::memcpy(out.data(), bytes_->data + offset, out.size());
    return pst::Status::Ok();
  }

 private:
  GObjectPtr<GMimeStream> stream_;
  GByteArray* bytes_;  // the stream's
};

// Files up to this size are read whole, in one read, and parsed from memory: GMime's file stream reads and
// seeks piece by piece, some twenty calls for a small message. Larger files stream from the file.
constexpr uint64_t kReadWholeLimit = uint64_t{4} << 20;

}  // namespace

pst::Result<pst::MessageContent> ImportEml(const std::string& path, const ImportOptions& options) {
  EnsureGMimeInitialised();
  PST_ASSIGN_OR_RETURN(auto file, FileSource::Open(path));
  if (file->Size() <= kReadWholeLimit) {
    const uint64_t fallback =
        options.fallback_time.value_or(file->modification_time() ? file->modification_time() : FileTimeNow());
    GByteArray* bytes = g_byte_array_sized_new(static_cast<guint>(file->Size()));
    g_byte_array_set_size(bytes, static_cast<guint>(file->Size()));
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(bytes));  // owns `bytes`
    PST_RETURN_IF_ERROR(file->Read(0, std::span<uint8_t>(bytes->data, bytes->len)));
    file.reset();
    auto source = std::make_shared<StreamBytes>(stream.get(), bytes);
    return ImportFromStream(stream.get(), std::move(source), options, fallback);
  }
  int fd = -1;
  if (fsutil::DuplicateAt(file->fd(), 0, &fd) != 0)
    return pst::Status::IoError("the file cannot be read: " + path);
  GObjectPtr<GMimeStream> stream(g_mime_stream_fs_new(fd));  // owns the duplicate descriptor
  uint64_t fallback =
      options.fallback_time.value_or(file->modification_time() ? file->modification_time() : FileTimeNow());
  return ImportFromStream(stream.get(), file, options, fallback);
}

pst::Result<pst::MessageContent> ImportEmlBytes(std::span<const uint8_t> bytes,
                                                const ImportOptions& options) {
  EnsureGMimeInitialised();
  auto source = std::make_shared<MemorySource>(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  // GMime refuses a null buffer, which is what an empty vector may hold.
  GObjectPtr<GMimeStream> stream(
      source->bytes().empty() ? g_mime_stream_mem_new()
                              : g_mime_stream_mem_new_with_buffer(
                                    reinterpret_cast<const char*>(source->bytes().data()), source->Size()));
  return ImportFromStream(stream.get(), source, options, options.fallback_time.value_or(FileTimeNow()));
}

}  // namespace velmora::mime
