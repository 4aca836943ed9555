#include <mutex>

#include "mime/gobject_ptr.h"

namespace velmora::mime {
namespace {
std::once_flag g_init;
GMimeParserOptions* g_options = nullptr;
}  // namespace

void EnsureGMimeInitialised() {
  std::call_once(g_init, [] {
    g_mime_init();
    g_options = g_mime_parser_options_new();
    static const char* kFallbacks[] = {"utf-8", "windows-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(g_options, kFallbacks);
    g_mime_parser_options_set_rfc2047_compliance_mode(g_options, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_address_compliance_mode(g_options, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_parameter_compliance_mode(g_options, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_allow_addresses_without_domain(g_options, TRUE);
  });
}

GMimeParserOptions* ImporterParserOptions() {
  EnsureGMimeInitialised();
  return g_options;
}

}  // namespace velmora::mime
