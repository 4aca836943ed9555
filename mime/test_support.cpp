#include "mime/test_support.h"

#include <glib.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace velmora::mime::testing {

std::optional<std::string> Str(const pst::PropertyMap& props, uint16_t id) {
  auto it = props.find(id);
  if (it == props.end()) return std::nullopt;
  return it->second.AsString();
}
std::optional<int32_t> Int(const pst::PropertyMap& props, uint16_t id) {
  auto it = props.find(id);
  return it == props.end() ? std::nullopt : it->second.AsInt32();
}
std::optional<bool> Bool(const pst::PropertyMap& props, uint16_t id) {
  auto it = props.find(id);
  return it == props.end() ? std::nullopt : it->second.AsBool();
}
std::optional<uint64_t> Time(const pst::PropertyMap& props, uint16_t id) {
  auto it = props.find(id);
  return it == props.end() ? std::nullopt : it->second.AsTime();
}
std::optional<std::vector<uint8_t>> Bytes(const pst::PropertyMap& props, uint16_t id) {
  auto it = props.find(id);
  if (it == props.end()) return std::nullopt;
  auto loaded = it->second.Load();
  if (!loaded.ok()) return std::nullopt;
  return *loaded;
}
std::string BytesAsString(const pst::PropertyMap& props, uint16_t id) {
  auto b = Bytes(props, id);
  return b ? std::string(b->begin(), b->end()) : std::string();
}

std::optional<std::string> InternetHeader(const pst::MessageContent& m, const std::string& name) {
  for (const auto& np : m.named) {
    if (np.is_string && g_ascii_strcasecmp(np.name.c_str(), name.c_str()) == 0) return np.value.AsString();
  }
  return std::nullopt;
}

uint64_t FileTime(int year, int month, int day, int hour, int minute, int second) {
  GDateTime* dt = g_date_time_new_utc(year, month, day, hour, minute, second);
  int64_t unix_seconds = g_date_time_to_unix(dt);
  g_date_time_unref(dt);
  return static_cast<uint64_t>(unix_seconds + 11644473600LL) * 10000000ULL;
}

std::string TestDataPath(const std::string& name) {
  const char* src = std::getenv("VELMORA_SOURCE_DIR");
  std::string root = src && *src ? src : VELMORA_MIME_SOURCE_ROOT;
  return root + "/mime/testdata/" + name;
}

pst::MessageContent LoadTestMessage(const std::string& folder, const std::string& name) {
  auto r = ImportEml(std::string(VELMORA_MIME_SOURCE_ROOT) + "/tests/messages/" + folder + "/" + name);
  if (!r.ok()) throw std::runtime_error("import of " + name + " failed: " + r.status().message());
  return std::move(r).value();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

pst::MessageContent ImportText(const std::string& text, bool crlf, const ImportOptions& options) {
  std::string data;
  for (char c : text) {
    if (crlf && c == '\n') data += '\r';
    data += c;
  }
  auto r = ImportEmlBytes(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data.data()), data.size()), options);
  if (!r.ok()) throw std::runtime_error("import failed: " + r.status().message());
  return std::move(r).value();
}

namespace {
std::string Value(const pst::PropValue& v) {
  char buf[64];
  switch (v.type) {
    case pst::kPtypString: {
      std::string s = v.AsString().value_or("?");
      if (s.size() > 120) s = s.substr(0, 120) + "...";
      std::string out = "\"";
      for (char c : s)
        out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
      return out + "\"";
    }
    case pst::kPtypInteger32:
      return std::to_string(*v.AsInt32());
    case pst::kPtypBoolean:
      return *v.AsBool() ? "true" : "false";
    case pst::kPtypTime:
      std::snprintf(buf, sizeof buf, "time %llu", static_cast<unsigned long long>(*v.AsTime()));
      return buf;
    default:
      std::snprintf(buf, sizeof buf, "type %04x, %llu bytes", v.type,
                    static_cast<unsigned long long>(v.Size()));
      return buf;
  }
}
void Props(std::ostringstream& out, const pst::PropertyMap& props, const std::string& pad) {
  for (const auto& [id, v] : props) {
    char tagbuf[16];
    std::snprintf(tagbuf, sizeof tagbuf, "%04X%04X", id, v.type);
    out << pad << tagbuf << " = " << Value(v) << "\n";
  }
}
}  // namespace

std::string Describe(const pst::MessageContent& m, int indent) {
  std::ostringstream out;
  std::string pad(static_cast<size_t>(indent), ' ');
  Props(out, m.props, pad);
  for (const auto& np : m.named) out << pad << "named " << np.name << " = " << Value(np.value) << "\n";
  for (size_t i = 0; i < m.recipients.size(); ++i) {
    out << pad << "recipient " << i << "\n";
    Props(out, m.recipients[i].Props(), pad + "  ");
  }
  for (size_t i = 0; i < m.attachments.size(); ++i) {
    out << pad << "attachment " << i << "\n";
    Props(out, m.attachments[i].props, pad + "  ");
    if (m.attachments[i].embedded) out << Describe(*m.attachments[i].embedded, indent + 4);
  }
  return out.str();
}

}  // namespace velmora::mime::testing
