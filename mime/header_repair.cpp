#include "mime/header_repair.h"

#include <glib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "mime/byte_sources.h"
#include "mime/charset.h"

namespace velmora::mime {
namespace {

constexpr size_t kChunk = 64 * 1024;     // read granularity of the scan
constexpr size_t kLineHead = 16 * 1024;  // bytes of a line kept for looking at it (and its boundary)
constexpr size_t kMaxCapturedHeader =
    16 * 1024;                         // a Content-Type longer than this is not read for its boundary
constexpr size_t kMaxBoundaries = 64;  // nesting deeper than this is not followed
constexpr size_t kMaxEdits = 10000;    // a hostile file cannot make the edit list grow without bound
// RFC 2046 limits boundaries to 70 characters; GMime loses a multipart whose boundary is some thousands of
// characters long (its delimiter lines outgrow GMime's read buffer), so longer ones are replaced by short
// ones of our own.
constexpr size_t kMaxBoundary = 70;
// Header fields are kept up to these sizes; the rest is removed before GMime parses the message. GMime holds
// every header of every part at once and copies a field several times while it decodes and unfolds it (a
// 50 MB line cost near 500 MB, about nine times its size), so header text kept is bounded per field and per
// message, and so is their number (GMime spends near 800 bytes on each field, however short), to keep a
// message's memory near 60 MB. Real mail stays far below: a To: line of 20,000 recipients is about 400 KB,
// a message of 10,000 attachments has some 30,000 fields. Past the message's bounds a new field is removed
// whole, except the
// Content-Type and Content-Transfer-Encoding fields that the structure of the message depends on, of which
// kMaxLateFields keep their first kLineHead bytes.
constexpr uint64_t kMaxHeaderField = 4 << 20;
constexpr uint64_t kMaxHeaderText = 6 << 20;
constexpr uint64_t kMaxHeaderFields = 50000;
constexpr int kMaxLateFields = 64;

// A header name: printable characters other than ':' and blanks ([RFC 5322] 2.2), then optional blanks
// before the colon (obsolete syntax that mail still carries).
bool IsHeaderLine(const std::string& line) {
  size_t i = 0;
  while (i < line.size() && line[i] > ' ' && line[i] < 0x7F && line[i] != ':') ++i;
  if (i == 0) return false;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return i < line.size() && line[i] == ':';
}

// A colon after at most one token that is no header name (": text", "[x]:", a name with 8-bit bytes). Text
// with blanks before its colon ("In article: ...") is a sentence, not a header: it starts the body.
bool IsMalformedName(const std::string& line) {
  size_t colon = line.find(':');
  return colon != std::string::npos && line.find_first_of(" \t") > colon;
}

// A field whose name holds a blank ("X-Spam Status: No"): two or three words of name characters before the
// colon. Whether it is a field or a sentence ("In article: ...") only the next line tells.
bool IsNameWithBlanks(const std::string& line) {
  size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  int words = 0;
  bool in_word = false;
  for (size_t i = 0; i < colon; ++i) {
    const char c = line[i];
    if (c == ' ') {
      if (!in_word) return false;  // a leading or doubled blank
      in_word = false;
    } else if (g_ascii_isalnum(c) || c == '-' || c == '_') {
      words += in_word ? 0 : 1;
      in_word = true;
    } else {
      return false;
    }
  }
  return in_word && words >= 2 && words <= 3;
}

// The value of a parameter of a Content-Type value ("" when absent), quotes removed.
std::string Parameter(const std::string& value, const std::string& name) {
  std::string lower = Lower(value);
  size_t pos = 0;
  while ((pos = lower.find(name, pos)) != std::string::npos) {
    bool starts = pos > 0 && (lower[pos - 1] == ';' || lower[pos - 1] == ' ' || lower[pos - 1] == '\t');
    size_t eq = pos + name.size();
    while (eq < lower.size() && (lower[eq] == ' ' || lower[eq] == '\t')) ++eq;
    if (!starts || eq >= lower.size() || lower[eq] != '=') {
      pos += name.size();
      continue;
    }
    size_t v = eq + 1;
    while (v < value.size() && (value[v] == ' ' || value[v] == '\t')) ++v;
    if (v < value.size() && value[v] == '"') {
      size_t end = value.find('"', v + 1);
      return value.substr(v + 1, end == std::string::npos ? std::string::npos : end - v - 1);
    }
    size_t end = value.find_first_of("; \t\r\n", v);
    return value.substr(v, end == std::string::npos ? std::string::npos : end - v);
  }
  return "";
}

class Scanner {
 public:
  explicit Scanner(std::vector<InputEdit>& edits) : edits_(edits) {}

  // One line: its first bytes, where it starts, its length without the line end, whether it is blanks only,
  // and its line end ("\r\n", "\n" or "" at the end of the input).
  void Line(const std::string& head, uint64_t offset, uint64_t length, bool blank, const char* eol,
            const std::vector<uint64_t>& nuls) {
    if (suspect_) {
      // A suspect line followed by a continuation or a header field is inside the block: a blank one is
      // removed (unfolding keeps only its blanks), GMime passes over a malformed one. Otherwise the block
      // ends there.
      const bool inside = length > 0 && !blank && (head[0] == ' ' || head[0] == '\t' || IsHeaderLine(head));
      Suspect s = std::move(*suspect_);
      suspect_.reset();
      if (inside && s.blank) {
        Edit({s.offset, s.length + std::strlen(s.eol), ""});  // folding blanks: nothing in them to keep
      } else if (inside) {
        FinishHeader();
        if (++fields_ > kMaxHeaderFields)
          Edit({s.offset, s.length + std::strlen(s.eol), ""});  // as any field
      } else {
        EndBlockAt(s);
      }
    }
    if (in_headers_) {
      HeaderLine(head, offset, length, blank, eol, nuls);
    } else {
      BodyLine(head, offset);
    }
  }

 private:
  void HeaderLine(const std::string& head, uint64_t offset, uint64_t length, bool blank, const char* eol,
                  const std::vector<uint64_t>& nuls) {
    if (length == 0) {
      EndOfHeaders();
      return;
    }
    if (blank) {
      suspect_ = Suspect{offset, length, true, head, eol};
      return;
    }
    if (head[0] == ' ' || head[0] == '\t') {
      if (CutOverlong(offset, length, eol)) return;
      if (capturing_ && header_.size() < kMaxCapturedHeader) {
        header_ += head;
        if (is_content_type_) pieces_.push_back({offset, head});
      }
      RemoveNuls(nuls);
      return;
    }
    FinishHeader();
    if (IsHeaderLine(head)) {
      // The field name's first bytes lower-cased, in place: every header line of every message passes here.
      char name[26];
      const size_t name_length = std::min(head.size(), sizeof name);
      for (size_t i = 0; i < name_length; ++i)
        name[i] = head[i] >= 'A' && head[i] <= 'Z' ? static_cast<char>(head[i] - 'A' + 'a') : head[i];
      const std::string_view lower(name, name_length);
      field_length_ = 0;
      field_room_ = ++fields_ > kMaxHeaderFields
                        ? 0
                        : std::min(kMaxHeaderField, kMaxHeaderText - std::min(header_text_, kMaxHeaderText));
      if (field_room_ == 0 && lower.starts_with("content-") && late_fields_ < kMaxLateFields) {
        ++late_fields_;
        field_room_ = kLineHead;
      }
      if (CutOverlong(offset, length, eol)) return;
      RemoveNuls(nuls);
      is_content_type_ = lower.starts_with("content-type");
      capturing_ = is_content_type_ || lower.starts_with("content-transfer-encoding");
      header_.clear();  // keeps its buffer for the next field
      if (capturing_) header_ = head;
      if (is_content_type_) pieces_ = {{offset, head}};
      return;
    }
    if (IsBoundaryLine(head)) {  // a part without headers: GMime reads that right
      content_type_.clear();
      encoding_.clear();
      capturing_ = false;
      BodyLine(head, offset);
      return;
    }
    if (IsMalformedName(head)) return;  // one token and a colon: GMime skips such a line, and so do readers
    if (IsNameWithBlanks(head)) {
      suspect_ = Suspect{offset, length, false, head, eol};
      return;
    }
    EndBlockAt(Suspect{offset, length, false, head, eol});
  }

 public:
  // Whether a line can still change anything: past the last header block, with no multipart open and no
  // suspect line waiting, every further line is body text that no rule looks at.
  bool Finished() const { return !in_headers_ && !suspect_ && boundaries_.empty(); }
  // Whether the next line matters only when it is a delimiter line (starts with "--").
  bool InBody() const { return !in_headers_ && !suspect_; }

  // The input ended: a suspect last line ends its block.
  void End() {
    if (!suspect_) return;
    Suspect s = std::move(*suspect_);
    suspect_.reset();
    EndBlockAt(s);
  }

 private:
  // A line of blanks only, or a field whose name holds blanks, in a header block. What it is is decided by
  // the line after it.
  struct Suspect {
    uint64_t offset;
    uint64_t length;
    bool blank;
    std::string head;
    const char* eol;
  };

  // The block ends at the suspect line: a blank one becomes the empty line (its blanks removed), text gets
  // an empty line inserted before it and starts the body.
  void EndBlockAt(const Suspect& s) {
    if (s.blank) {
      Edit({s.offset, s.length, ""});
      EndOfHeaders();
      return;
    }
    Edit({s.offset, 0, *s.eol ? s.eol : "\n"});
    EndOfHeaders();
    BodyLine(s.head, s.offset);
  }

  void FinishHeader() {
    if (!capturing_) return;
    std::string value = header_.substr(header_.find(':') + 1);
    if (is_content_type_) {
      content_type_ = value;
      type_pieces_ = std::move(pieces_);
    } else {
      encoding_ = Lower(value);
    }
    capturing_ = false;
    header_.clear();
  }

  void EndOfHeaders() {
    FinishHeader();
    in_headers_ = false;
    std::string type = content_type_.substr(0, content_type_.find(';'));
    type.erase(std::remove_if(type.begin(), type.end(), [](char c) { return c == ' ' || c == '\t'; }),
               type.end());
    type = Lower(type);
    std::string encoding = encoding_;
    encoding.erase(
        std::remove_if(encoding.begin(), encoding.end(), [](char c) { return g_ascii_isspace(c); }),
        encoding.end());
    std::string boundary = Parameter(content_type_, "boundary");
    content_type_.clear();
    encoding_.clear();
    if (type.rfind("multipart/", 0) == 0 && !boundary.empty() && boundaries_.size() < kMaxBoundaries)
      boundaries_.push_back({boundary, ShortenedBoundary(boundary)});
    type_pieces_.clear();
    bool identity = encoding.empty() || encoding == "7bit" || encoding == "8bit" || encoding == "binary";
    // An attached message's content is a message of its own: another header block.
    if (identity && (type == "message/rfc822" || type == "message/global" || type == "message/news"))
      in_headers_ = true;
  }

  // A short boundary in place of a long one, written into the Content-Type header; "" when it is short or
  // cannot be found whole on one line of the header. "=_" never occurs in base64 or quoted-printable text.
  std::string ShortenedBoundary(const std::string& boundary) {
    if (boundary.size() <= kMaxBoundary) return "";
    for (const auto& [offset, text] : type_pieces_) {
      size_t at = text.find(boundary);
      if (at == std::string::npos) continue;
      std::string replacement = "=_long_boundary_" + std::to_string(++shortened_) + "_=";
      Edit({offset + at, boundary.size(), replacement});
      return replacement;
    }
    return "";
  }

  // The index in boundaries_ of the boundary `head` is a delimiter line of, and whether it closes; -1 when
  // it is none. Blanks after the boundary are transport padding (RFC 2046 5.1.1); a boundary parameter that
  // ends in blanks is matched without them.
  int MatchBoundary(const std::string& head, bool* close) const {
    if (head.size() < 3 || head[0] != '-' || head[1] != '-') return -1;
    for (size_t i = boundaries_.size(); i-- > 0;) {
      const std::string& b = boundaries_[i].text;
      size_t n = b.find_last_not_of(" \t") + 1;
      if (n == 0 || head.compare(2, n, b, 0, n) != 0) continue;
      std::string rest = head.substr(2 + n);
      *close = rest.rfind("--", 0) == 0;
      if (*close) rest = rest.substr(2);
      if (rest.find_first_not_of(" \t\r") != std::string::npos) continue;
      return static_cast<int>(i);
    }
    return -1;
  }

  bool IsBoundaryLine(const std::string& head) const {
    bool close = false;
    return MatchBoundary(head, &close) >= 0;
  }

  void BodyLine(const std::string& head, uint64_t offset) {
    bool close = false;
    int i = MatchBoundary(head, &close);
    if (i < 0) return;
    const Boundary& b = boundaries_[static_cast<size_t>(i)];
    if (!b.replacement.empty()) Edit({offset + 2, b.text.find_last_not_of(" \t") + 1, b.replacement});
    boundaries_.resize(close ? static_cast<size_t>(i) : static_cast<size_t>(i) + 1);
    if (!close) in_headers_ = true;
  }

  // Removes what passes the room of the current field: the end of the line that crosses it, then every
  // further continuation line whole (a field without room goes whole). True when the line is gone.
  bool CutOverlong(uint64_t offset, uint64_t length, const char* eol) {
    const uint64_t room = field_room_ - std::min(field_length_, field_room_);
    field_length_ += length;
    header_text_ += std::min(length, room);
    if (length <= room) return false;
    const uint64_t at = room == 0 ? offset : offset + room;
    const uint64_t remove = room == 0 ? length + std::strlen(eol) : length - room;
    // Adjacent removals grow one edit, so that any number of continuation lines costs one.
    if (cut_ < edits_.size() && edits_[cut_].offset + edits_[cut_].remove == at) {
      edits_[cut_].remove += remove;
    } else {
      cut_ = edits_.size();
      Edit({at, remove, ""});
    }
    return room == 0;
  }

  // A NUL would end the header's value for GMime, and what follows it would be lost.
  void RemoveNuls(const std::vector<uint64_t>& nuls) {
    for (uint64_t at : nuls) Edit({at, 1, ""});
  }

  void Edit(InputEdit e) {
    if (edits_.size() < kMaxEdits) edits_.push_back(std::move(e));
  }

 private:
  std::vector<InputEdit>& edits_;
  bool in_headers_ = true;
  struct Boundary {
    std::string text;
    std::string replacement;  // "" when kept
  };
  bool capturing_ = false;
  bool is_content_type_ = false;
  std::vector<std::pair<uint64_t, std::string>> pieces_;       // lines of the header being read
  std::vector<std::pair<uint64_t, std::string>> type_pieces_;  // lines of the block's Content-Type
  int shortened_ = 0;
  uint64_t field_length_ = 0;  // bytes of the current header field so far
  uint64_t field_room_ = 0;    // bytes the current header field may keep
  uint64_t header_text_ = 0;   // header bytes kept so far, over every header block
  uint64_t fields_ = 0;        // header fields seen so far, over every header block
  int late_fields_ = 0;        // fields kept short past the bounds
  size_t cut_ = SIZE_MAX;      // index in edits_ of the last removal of an over-long field
  std::string header_;
  std::string content_type_;
  std::string encoding_;
  std::vector<Boundary> boundaries_;
  std::optional<Suspect> suspect_;
};

}  // namespace

std::vector<InputEdit> FindHeaderRepairs(const pst::ByteSource& source, uint64_t start) {
  std::vector<InputEdit> edits;
  Scanner scanner(edits);
  std::string head;
  std::vector<uint64_t> nuls;  // where the line holds NUL bytes (the first few)
  constexpr size_t kMaxNuls = 64;
  uint64_t line_start = start, line_length = 0;
  bool blank = true, cr = false;
  uint64_t size = source.Size();
  // No larger than the message (most are a few KB), and not zeroed: each read fills what is scanned.
  const size_t buf_size = static_cast<size_t>(std::min<uint64_t>(kChunk, size > start ? size - start : 0));
  std::unique_ptr<uint8_t[]> buf(new uint8_t[buf_size]);
  // Each chunk is taken a line piece at a time (memchr for the LF, NUL and blank tests over the piece): the
  // scan covers every line of the message, bodies included, so a byte-at-a-time loop cost a fifth of a small
  // message's parse. A CR counts as part of the line unless an LF follows it at once.
  // The first read is short: the scan usually ends with the message's own header block.
  constexpr size_t kFirstRead = 4 * 1024;
  for (uint64_t pos = start; pos < size;) {
    const size_t want = pos == start ? std::min(kFirstRead, buf_size) : buf_size;
    size_t n = static_cast<size_t>(std::min<uint64_t>(want, size - pos));
    if (!source.Read(pos, std::span<uint8_t>(buf.get(), n)).ok()) return {};
    const uint8_t* data = buf.get();
    for (size_t i = 0; i < n;) {
      const auto* lf = static_cast<const uint8_t*>(std::memchr(data + i, '\n', n - i));
      const size_t end = lf ? static_cast<size_t>(lf - data) : n;
      // A whole body line that cannot be a delimiter line is passed over without being copied or looked at.
      if (lf && line_length == 0 && !cr && scanner.InBody() &&
          !(end - i >= 2 && data[i] == '-' && data[i + 1] == '-')) {
        line_start = pos + end + 1;
        i = end + 1;
        continue;
      }
      if (end > i) {
        if (cr) {  // the CR that ended the last piece is inside the line
          if (head.size() < kLineHead) head += '\r';
          ++line_length;
          blank = false;
        }
        cr = data[end - 1] == '\r';
        const size_t m = end - i - (cr ? 1 : 0);  // the piece's bytes that belong to the line
        const char* piece = reinterpret_cast<const char*>(data + i);
        if (head.size() < kLineHead) head.append(piece, std::min(m, kLineHead - head.size()));
        for (size_t k = 0; k < m && nuls.size() < kMaxNuls; ++k) {
          const void* nul = std::memchr(piece + k, 0, m - k);
          if (!nul) break;
          k = static_cast<size_t>(static_cast<const char*>(nul) - piece);
          nuls.push_back(pos + i + k);
        }
        for (size_t k = 0; k < m && blank; ++k) blank = piece[k] == ' ' || piece[k] == '\t';
        line_length += m;
      }
      if (!lf) break;
      scanner.Line(head, line_start, line_length, blank, cr ? "\r\n" : "\n", nuls);
      if (scanner.Finished()) break;
      head.clear();
      nuls.clear();
      line_start = pos + end + 1;
      line_length = 0;
      blank = true;
      cr = false;
      i = end + 1;
    }
    if (scanner.Finished()) break;  // the rest of the file is a single part's body
    pos += n;
  }
  if (!scanner.Finished() && (line_length > 0 || cr))
    scanner.Line(head, line_start, line_length, blank, "", nuls);
  scanner.End();
  // A long boundary's header edit is made when its block ends, after the NULs of later lines of the block.
  std::stable_sort(edits.begin(), edits.end(),
                   [](const InputEdit& a, const InputEdit& b) { return a.offset < b.offset; });
  return edits;
}

std::shared_ptr<const pst::ByteSource> ApplyEdits(std::shared_ptr<const pst::ByteSource> source,
                                                  uint64_t start, const std::vector<InputEdit>& edits) {
  std::vector<std::shared_ptr<const pst::ByteSource>> parts;
  uint64_t at = start;
  for (const InputEdit& e : edits) {
    if (e.offset > at) parts.push_back(std::make_shared<SliceSource>(source, at, e.offset - at));
    if (!e.insert.empty())
      parts.push_back(std::make_shared<MemorySource>(std::vector<uint8_t>(e.insert.begin(), e.insert.end())));
    at = std::max(at, e.offset + e.remove);
  }
  if (source->Size() > at) parts.push_back(std::make_shared<SliceSource>(source, at, source->Size() - at));
  return std::make_shared<ConcatSource>(std::move(parts));
}

}  // namespace velmora::mime
