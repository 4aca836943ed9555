// Feeds arbitrary bytes to the .eml importer as one message file. Every value of the result is then read
// back in full (strings converted, streams read end to end), embedded messages included, so that a bad
// length or offset anywhere in the produced content shows up here and not in the writer.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "mime/import.h"

using namespace velmora;

namespace {

void Touch(const pst::PropertyMap& props) {
  for (const auto& [id, value] : props) {
    if (value.stream) {
      std::vector<uint8_t> buf(4096);
      uint64_t size = value.stream->Size();
      for (uint64_t at = 0; at < size; at += buf.size()) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - at));
        if (!value.stream->Read(at, std::span<uint8_t>(buf.data(), n)).ok()) __builtin_trap();
      }
    } else if (value.type == pst::kPtypString) {
      (void)value.AsString();
    }
  }
}

void TouchMessage(const pst::MessageContent& m) {
  Touch(m.props);
  for (const auto& r : m.recipients) Touch(r.Props());
  for (const auto& n : m.named) (void)n.value.AsString();
  for (const auto& a : m.attachments) {
    Touch(a.props);
    if (a.embedded) TouchMessage(*a.embedded);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mime::ImportOptions options;
  options.memory_limit = 512;  // small, so that the temporary-file path is taken too
  options.max_body_bytes = 1 << 20;
  options.fallback_time = 0x01D0000000000000ULL;
  auto result = mime::ImportEmlBytes(std::span<const uint8_t>(data, size), options);
  if (result.ok()) TouchMessage(*result);
  return 0;
}
