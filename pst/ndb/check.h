// A full consistency check of the node database layer of a PST file: header CRCs and fields, every page
// and block (type, CRC, signature, BID, alignment, bounds), B-tree order and levels, data and subnode trees,
// cRef against the references actually found, the AMaps against the space every page and block occupies,
// cbAMapFree, ibFileEof/ibAMapLast, PMap/FMap/FPMap presence and CRCs, the DList, and bidNextB, bidNextP
// and rgnid above every value in use. It reads the committed state from the file, page by page and block
// by block; what it keeps grows with the file: the space the pages and blocks need (2 MiB per GiB of file),
// the pages its tree walk has reached (256 KiB per GiB), 24 bytes per internal block and a byte per two
// BIDs for the reference counts.
#pragma once

#include <string>
#include <vector>

#include "pst/ndb/file.h"
#include "pst/ndb/node_database.h"

namespace velmora::pst {

struct CheckReport {
  std::vector<std::string> errors;  // rules of the format broken
  std::vector<std::string> notes;   // allowed, but worth knowing (no DList, maps marked for rebuild, ...)
  // The errors a writer mends as it opens the file (counters behind what is in use, maps that disagree with
  // the B-trees): also listed in `errors`. Everything else is damage a writer must not build on.
  std::vector<std::string> mendable;
  uint64_t nodes = 0;
  uint64_t blocks = 0;
  uint64_t pages = 0;  // NBT and BBT pages
  uint64_t sections = 0;
  bool ok() const { return errors.empty(); }
  // The first error that is not mendable, or "" when there is none.
  std::string FirstDamage() const;
  std::string Summary() const;
};

CheckReport CheckFile(File& file);
// Checks the database's file as last committed; notes uncommitted changes.
CheckReport CheckDatabase(NodeDatabase& db);

}  // namespace velmora::pst
