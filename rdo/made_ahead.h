// Imports finished and message nodes made on the parse workers, ahead of the store writer.
//
// A parse worker can do all of what Import and Save do to a message that does not depend on the store's
// state at the moment of the save: it finishes the content as Import does (the own-address flags, the
// source-file and source-key properties) and, with the flags the caller will set before saving, makes the
// message's node (pst/messaging/message/prepared_message.h). The store writer then only places it.
//
// What the worker reads of the store is fixed when the loop starts (ImportBasis: the store's name, the
// source root, its block encoding) or only grows (the named properties it knows). Import takes the
// finished content only when made for the session's current basis; Save places the node only when nothing
// but those flags was set since the import.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "pst/ltp/table_context.h"
#include "pst/messaging/known_names.h"
#include "pst/ndb/encoding.h"
#include "rdo/parsed_eml.h"

namespace velmora::rdo {

class ImportBasis {
 public:
  ImportBasis(std::string display_name, std::string source_root, std::optional<pst::CryptMethod> encoding)
      : display_name_(std::move(display_name)), source_root_(std::move(source_root)), encoding_(encoding) {}
  const std::string& display_name() const { return display_name_; }
  const std::string& source_root() const { return source_root_; }
  std::optional<pst::CryptMethod> encoding() const { return encoding_; }
  pst::KnownNames& names() { return names_; }
  const pst::KnownNames& names() const { return names_; }

 private:
  const std::string display_name_;
  const std::string source_root_;
  const std::optional<pst::CryptMethod> encoding_;
  pst::KnownNames names_;
};

// What a worker makes ahead with, one per worker (the table scratch is reused from message to message).
struct AheadWork {
  std::shared_ptr<const ImportBasis> basis;
  int32_t message_flags = 0;  // PR_MESSAGE_FLAGS as the caller sets it after Import
  pst::TableScratch scratch;
};

// What Import adds to a parsed file's content: the flags of the messages to the store's own address and the
// source-file and source-key properties (the digest is taken here when `digest` is empty).
void FinishImport(pst::MessageContent& content, const std::string& path, const PathLook& look,
                  const std::string& display_name, const std::string& source_root, std::string digest);

// Finishes `parsed` for `work.basis` and makes its node, when it can be (otherwise `parsed` stays as it was,
// and the import does the rest).
void MakeAhead(ParsedEml& parsed, AheadWork& work);

}  // namespace velmora::rdo
