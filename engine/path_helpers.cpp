#include "engine/path_helpers.h"

#include "engine/errors.h"

namespace velmora::engine {

std::string PathFileName(std::string_view path, char sep) {
  if (path.empty()) throw Error::SubscriptOutOfRange();  // splitting empty text gives no pieces
  const size_t last = path.rfind(sep);
  return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

std::string PathParent(std::string_view path, char sep) {
  const std::string last = PathFileName(path, sep);
  return std::string(path.substr(0, path.size() - last.size()));
}

}  // namespace velmora::engine
