// A small JSON reader for the test that compares the importer with Python's email package: enough for the
// objects eml_facts.py prints (strings with \u escapes, numbers, null, booleans, arrays, objects).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::mime::testing {

struct Json {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<Json> array;
  std::map<std::string, Json> object;

  bool is_null() const { return kind == Kind::kNull; }
  // Member access that answers null for anything missing.
  const Json& operator[](const std::string& key) const;
  const Json& operator[](size_t i) const;
};

// nullopt when the text is not one JSON value.
std::optional<Json> ParseJson(const std::string& text);

}  // namespace velmora::mime::testing
