// The keys of the messages a folder of the store already holds, asked by Resume before each import.
//
// A folder of a million messages must not cost a million strings: each key is kept as a 128-bit digest
// (two independent 64-bit hashes; the chance that two of a million different keys share both is about
// 10^-27), 16 bytes a message. Digests live in one sorted vector; those added since the last merge sit in a
// small hash set that is merged in once it reaches an eighth of the vector, so adding n keys costs
// O(n log n) in all and memory stays near 16 bytes a key.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace velmora::engine {

class PresentKeys {
 public:
  bool Contains(std::string_view key) const;
  void Insert(std::string_view key);
  size_t size() const { return sorted_.size() + recent_.size(); }

 private:
  struct Digest {
    uint64_t a = 0, b = 0;
    bool operator==(const Digest& o) const { return a == o.a && b == o.b; }
    bool operator<(const Digest& o) const { return a != o.a ? a < o.a : b < o.b; }
  };
  struct DigestHash {
    size_t operator()(const Digest& d) const { return static_cast<size_t>(d.a ^ (d.b >> 1)); }
  };
  static Digest Of(std::string_view key);
  void Merge();

  std::vector<Digest> sorted_;
  std::unordered_set<Digest, DigestHash> recent_;
};

}  // namespace velmora::engine
