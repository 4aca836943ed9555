#include "pst/ltp/property.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "fsutil/utf8.h"
#include "pst/ltp/le_bytes.h"

namespace velmora::pst {

size_t FixedSizeOf(uint16_t type) {
  switch (type) {
    case kPtypBoolean:
      return 1;  // [MS-OXCDATA] 2.11.1: one byte, 0 or 1
    case kPtypInteger16:
      return 2;
    case kPtypInteger32:
    case kPtypFloating32:
    case kPtypErrorCode:
      return 4;
    case kPtypFloating64:
    case kPtypCurrency:
    case kPtypFloatingTime:
    case kPtypInteger64:
    case kPtypTime:
      return 8;
    case kPtypGuid:
      return 16;
    default:
      return 0;
  }
}

Result<std::vector<uint8_t>> PropValue::Load() const {
  if (!stream) return bytes;
  std::vector<uint8_t> out(stream->Size());
  PST_RETURN_IF_ERROR(stream->Read(0, out));
  return out;
}

namespace {
std::vector<uint8_t> LittleEndian(uint64_t v, size_t n) {
  std::vector<uint8_t> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
  return out;
}
}  // namespace

PropValue PropValue::Int16(int16_t v) {
  return Raw(kPtypInteger16, LittleEndian(static_cast<uint16_t>(v), 2));
}
PropValue PropValue::Int32(int32_t v) {
  return Raw(kPtypInteger32, LittleEndian(static_cast<uint32_t>(v), 4));
}
PropValue PropValue::Int64(int64_t v) {
  return Raw(kPtypInteger64, LittleEndian(static_cast<uint64_t>(v), 8));
}
PropValue PropValue::Bool(bool v) {
  return Raw(kPtypBoolean, {static_cast<uint8_t>(v ? 1 : 0)});
}
PropValue PropValue::Time(uint64_t filetime) {
  return Raw(kPtypTime, LittleEndian(filetime, 8));
}
PropValue PropValue::String(std::string_view utf8) {
  return Raw(kPtypString, Utf8ToUtf16le(utf8));
}
PropValue PropValue::Binary(std::vector<uint8_t> b) {
  return Raw(kPtypBinary, std::move(b));
}
PropValue PropValue::Stream(uint16_t type, std::shared_ptr<const ByteSource> s) {
  PropValue v;
  v.type = type;
  v.stream = std::move(s);
  return v;
}
PropValue PropValue::Raw(uint16_t type, std::vector<uint8_t> b) {
  PropValue v;
  v.type = type;
  v.bytes = std::move(b);
  return v;
}

void PropValue::SetInt32(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  const uint8_t le[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
                         static_cast<uint8_t>(u >> 24)};
  SetBytes(kPtypInteger32, le);
}
void PropValue::SetBool(bool v) {
  const uint8_t b = v ? 1 : 0;
  SetBytes(kPtypBoolean, {&b, 1});
}
void PropValue::SetString(std::string_view utf8) {
  type = kPtypString;
  stream.reset();
  bytes.clear();
  AppendUtf16le(utf8, bytes);
}
void PropValue::SetBytes(uint16_t value_type, std::span<const uint8_t> b) {
  type = value_type;
  stream.reset();
  bytes.assign(b.begin(), b.end());
}

std::optional<int32_t> PropValue::AsInt32() const {
  if (stream) return std::nullopt;
  if (type == kPtypInteger16 && bytes.size() == 2) return static_cast<int16_t>(le::Get16(bytes, 0));
  if ((type == kPtypInteger32 || type == kPtypErrorCode) && bytes.size() == 4)
    return static_cast<int32_t>(le::Get32(bytes, 0));
  return std::nullopt;
}

std::optional<int64_t> PropValue::AsInt64() const {
  if (stream) return std::nullopt;
  if ((type == kPtypInteger64 || type == kPtypCurrency) && bytes.size() == 8)
    return static_cast<int64_t>(le::Get64(bytes, 0));
  if (auto narrow = AsInt32()) return *narrow;
  return std::nullopt;
}

std::optional<bool> PropValue::AsBool() const {
  if (stream || type != kPtypBoolean || bytes.empty()) return std::nullopt;
  return bytes[0] != 0;
}

std::optional<uint64_t> PropValue::AsTime() const {
  if (stream || type != kPtypTime || bytes.size() != 8) return std::nullopt;
  return le::Get64(bytes, 0);
}

std::optional<std::string> PropValue::AsString() const {
  if (stream) return std::nullopt;
  if (type == kPtypString) return Utf16leToUtf8(bytes);
  if (type == kPtypString8) {
    // 8-bit strings carry no code page of their own; read them as Latin-1, which keeps every byte.
    std::string out;
    for (uint8_t c : bytes) {
      if (c < 0x80) {
        out.push_back(static_cast<char>(c));
      } else {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
    return out;
  }
  return std::nullopt;
}

// ---- UTF-8 <-> UTF-16LE

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::vector<uint8_t>& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    le::Append16(out, static_cast<uint16_t>(0xD800 + (cp >> 10)));
    le::Append16(out, static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    le::Append16(out, static_cast<uint16_t>(cp));
  }
}

}  // namespace

// Each ill-formed sequence (fsutil/utf8.h) turns into one U+FFFD.
std::vector<uint8_t> Utf8ToUtf16le(std::string_view utf8) {
  std::vector<uint8_t> out;
  AppendUtf16le(utf8, out);
  return out;
}

void AppendUtf16le(std::string_view utf8, std::vector<uint8_t>& out) {
  // Room for the longest result, growing geometrically when appended to piece by piece.
  if (const size_t most = out.size() + utf8.size() * 2; most > out.capacity())
    out.reserve(std::max(most, 2 * out.capacity()));
  size_t i = 0;
  const size_t n = utf8.size();
  while (i < n) {
    if (static_cast<uint8_t>(utf8[i]) < 0x80) {
      // A run of ASCII, most of any mail text, found eight bytes a step and widened in one go: resize
      // zeroes the high byte of every unit, the loop writes the low ones.
      const auto* src = reinterpret_cast<const uint8_t*>(utf8.data());
      size_t end = i + 1;
      for (uint64_t word = 0; end + 8 <= n; end += 8) {
        std::memcpy(&word, src + end, 8);
        if (word & 0x8080808080808080ull) break;
      }
      while (end < n && src[end] < 0x80) ++end;
      const size_t at = out.size();
      out.resize(at + 2 * (end - i));
      uint8_t* unit = out.data() + at;
#if defined(__SSE2__)
      // Sixteen bytes a step where every x86-64 has SSE2: unpacked with zeros, they are sixteen units.
      const __m128i zero = _mm_setzero_si128();
      for (; i + 16 <= end; i += 16, unit += 32) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(unit), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(unit + 16), _mm_unpackhi_epi8(bytes, zero));
      }
#endif
      for (; i < end; ++i, unit += 2) *unit = src[i];
      continue;
    }
    const fsutil::Utf8Step step = fsutil::DecodeUtf8At(utf8, i);
    AppendUtf16(out, step.valid ? step.code_point : kReplacement);
    i += step.length;
  }
}

std::string Utf16leToUtf8(std::span<const uint8_t> utf16le) {
  std::string out;
  out.reserve(utf16le.size());
  const size_t units = utf16le.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    char32_t u = le::Get16(utf16le, 2 * i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      char32_t v = le::Get16(utf16le, 2 * (i + 1));
      if (v >= 0xDC00 && v <= 0xDFFF) {
        fsutil::AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        ++i;
        continue;
      }
    }
    fsutil::AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
  }
  if (utf16le.size() % 2 != 0) fsutil::AppendUtf8(out, kReplacement);  // a dangling half code unit
  return out;
}

// ---- Multi-valued properties

namespace {
// Element size of a packed multi-valued type, 0 for the offset-table kind.
size_t MultiElementSize(uint16_t type) {
  uint16_t single = static_cast<uint16_t>(type & ~kPtypMultipleFlag);
  if (single == kPtypString || single == kPtypString8 || single == kPtypBinary) return 0;
  return FixedSizeOf(single);
}
}  // namespace

std::vector<uint8_t> EncodeMultiValue(uint16_t type, const std::vector<std::vector<uint8_t>>& items) {
  std::vector<uint8_t> out;
  if (MultiElementSize(type) != 0) {
    for (const auto& item : items) out.insert(out.end(), item.begin(), item.end());
    return out;
  }
  uint32_t offset = static_cast<uint32_t>(4 + 4 * items.size());
  le::Append32(out, static_cast<uint32_t>(items.size()));
  for (const auto& item : items) {
    le::Append32(out, offset);
    offset += static_cast<uint32_t>(item.size());
  }
  for (const auto& item : items) out.insert(out.end(), item.begin(), item.end());
  return out;
}

std::optional<std::vector<std::vector<uint8_t>>> DecodeMultiValue(uint16_t type,
                                                                  std::span<const uint8_t> bytes) {
  if (!IsMultiValued(type)) return std::nullopt;
  std::vector<std::vector<uint8_t>> items;
  if (size_t element = MultiElementSize(type); element != 0) {
    if (bytes.size() % element != 0) return std::nullopt;
    for (size_t at = 0; at < bytes.size(); at += element)
      items.emplace_back(bytes.begin() + static_cast<ptrdiff_t>(at),
                         bytes.begin() + static_cast<ptrdiff_t>(at + element));
    return items;
  }
  if (bytes.empty()) return items;  // no items at all
  if (bytes.size() < 4) return std::nullopt;
  const uint64_t count = le::Get32(bytes, 0);
  if (count > (bytes.size() - 4) / 4) return std::nullopt;
  const size_t table_end = static_cast<size_t>(4 + 4 * count);
  for (size_t i = 0; i < count; ++i) {
    uint64_t begin = le::Get32(bytes, 4 + 4 * i);
    uint64_t end = i + 1 < count ? le::Get32(bytes, 4 + 4 * (i + 1)) : bytes.size();
    if (begin < table_end || begin > end || end > bytes.size()) return std::nullopt;
    items.emplace_back(bytes.begin() + static_cast<ptrdiff_t>(begin),
                       bytes.begin() + static_cast<ptrdiff_t>(end));
  }
  return items;
}

}  // namespace velmora::pst
