// The base64 filter must give GMime's own decoder's bytes for any input cut into any chunks: attachments are
// compared byte for byte with what earlier builds stored.
#include "mime/base64_filter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "mime/gobject_ptr.h"
#include "mime/import.h"

namespace velmora::mime {
namespace {

// `input` through `filter` in chunks of the given sizes (the last one whatever is left, as completion).
std::string Run(GMimeFilter* filter, const std::string& input, const std::vector<size_t>& cuts) {
  std::string out;
  std::string copy = input;  // filters take a writable buffer
  size_t at = 0;
  for (size_t cut : cuts) {
    const size_t n = std::min(cut, copy.size() - at);
    char* result = nullptr;
    size_t len = 0, pre = 0;
    g_mime_filter_filter(filter, copy.data() + at, n, 0, &result, &len, &pre);
    out.append(result, len);
    at += n;
  }
  char* result = nullptr;
  size_t len = 0, pre = 0;
  g_mime_filter_complete(filter, copy.data() + at, copy.size() - at, 0, &result, &len, &pre);
  out.append(result, len);
  return out;
}

void ExpectSameAsGMime(const std::string& input, const std::vector<size_t>& cuts) {
  GObjectPtr<GMimeFilter> ours(NewBase64DecodeFilter());
  GObjectPtr<GMimeFilter> theirs(g_mime_filter_basic_new(GMIME_CONTENT_ENCODING_BASE64, FALSE));
  ASSERT_EQ(Run(ours.get(), input, cuts), Run(theirs.get(), input, cuts)) << "input: " << input;
}

TEST(Base64Filter, DecodesAsGMimeDoesWhateverTheTextAndTheChunks) {
  EnsureGMimeInitialised();
  // Padding at the end, in the middle (concatenated blocks), split over chunks; text after the padding;
  // line ends of both kinds and characters outside the alphabet.
  const std::vector<std::string> shapes = {
      "",
      "TWFu",
      "TWE=",
      "TQ==",
      "TWFuIGlz\r\nIGRpc3Rp\r\nbmd1aXNo\r\nZWQ=\r\n",
      "TQ==TWFu",
      "KD//2Q==\r\n\r\nCheerio!\r\n",
      "AB=C=D==E",
      "!!TW Fu*\tIGlz====",
      "=",
      "==",
      "Q",
  };
  for (const std::string& s : shapes) {
    for (size_t cut = 1; cut <= s.size() + 1; ++cut)
      ExpectSameAsGMime(s, std::vector<size_t>(s.size() / cut + 1, cut));
  }
  // Random text over a small alphabet that makes every rule fire, in random chunks.
  std::mt19937 rng(7);
  const std::string alphabet = "ABCDwxyz0189+/==\r\n -";
  for (int round = 0; round < 300; ++round) {
    std::string s(rng() % 200, ' ');
    for (char& c : s) c = alphabet[rng() % alphabet.size()];
    std::vector<size_t> cuts;
    for (size_t total = 0; total < s.size();) cuts.push_back(1 + rng() % 40), total += cuts.back();
    ExpectSameAsGMime(s, cuts);
  }
  // An attachment as mailers write it: 76-character lines, then a footer after the padding.
  std::string bytes(50001, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  const std::string one_line(encoded);  // no line breaks at all
  for (size_t cut : {size_t{4096}, size_t{33}})
    ExpectSameAsGMime(one_line, std::vector<size_t>(one_line.size() / cut + 1, cut));
  std::string text;
  for (std::string_view rest(encoded); !rest.empty(); rest.remove_prefix(std::min<size_t>(76, rest.size())))
    text.append(rest.substr(0, 76)).append("\r\n");
  g_free(encoded);
  text += "--\r\nList footer\r\n";
  for (size_t cut : {size_t{4096}, size_t{4095}, size_t{77}, size_t{3}})
    ExpectSameAsGMime(text, std::vector<size_t>(text.size() / cut + 1, cut));
}

}  // namespace
}  // namespace velmora::mime
