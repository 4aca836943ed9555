// The search handles of the POSIX shim: FindFirstFile/FindNextFile/FindClose over opendir/readdir.
//
// A search lists its folder once, when it starts: the names that match the pattern, sorted as NTFS sorts them
// (name_order.h), after "." and ".." (which NTFS delivers first in every folder but a drive root). The sort
// holds a bounded part of a large folder in memory and spills the rest (sorted_listing.h). Each step then
// stats the entry it delivers, so that a caller who stops early pays for what it used.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "fsutil/platform_shim.h"
#include "fsutil/sorted_listing.h"

namespace velmora::fsutil {

class SearchTable {
 public:
  // Starts a search for `search_path` (folder up to the last "/", then a name or pattern). On success fills
  // *data from the first entry and returns the handle; on failure returns kInvalidHandle with the Win32 code
  // in *error.
  uint32_t Start(const std::string& search_path, FindData* data, uint32_t* error);
  // The next entry of an open search; false with 18 at the end, with 6 for a handle that is not open.
  bool Step(uint32_t handle, FindData* data, uint32_t* error);
  // Ends a search; false with 6 for a handle that is not open.
  bool Close(uint32_t handle, uint32_t* error);

  size_t open_count() const { return open_.size(); }

 private:
  struct Search {
    std::string folder;                      // ends in "/", or empty for the current folder
    std::vector<std::string> dots;           // "." and "..", delivered first, in reverse
    std::unique_ptr<SortedListing> listing;  // the other names, in delivery order
  };

  uint32_t NewHandle();
  static void Fill(const Search& s, const std::string& name, FindData* data);
  // The next name of `s` into *name; false with the Win32 code at its end or on a failed read.
  static bool NextName(Search& s, std::string* name, uint32_t* error);

  std::unordered_map<uint32_t, Search> open_;
  uint32_t last_handle_ = 0;
};

}  // namespace velmora::fsutil
