// Reads a .pst back from disk and compares its messages with the fingerprints of what was imported.
//
//   auto v = StoreVerifier::Open("/out/mail.pst");      // checks the file, then reads every message once
//   v->Check(expected);                                  // one imported message, by its source-file text
//   v->ListUnmatched();                                  // re-checking a folder: messages whose file is gone
//   Report r = v->report();
//
// Opening is read-only and fresh: nothing of a writer's state is used, and nothing is ever written. Each
// stored message that carries a source-file text is read once; its fingerprint goes to a temporary file and
// only two key hashes and its offset stay in memory (32 bytes a message).
//
// Matching: the stored message with the same source-file text in the expected folder, preferring one with the
// same Message-ID (two files of the same name and size may sit in one folder); else one with that text in
// another folder (reported as the field "folder"); else, for a file changed since the conversion, one with
// the same Message-ID (reported as the field "source file"); else none (reported as the field "message").
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pst/ndb/status.h"
#include "verify/fingerprint.h"
#include "verify/fingerprint_log.h"

namespace velmora::verify {

struct Difference {
  std::string file;   // the source file
  std::string field;  // "subject", "attachment 2 sha-256", "folder", "message", ...
  std::string detail;
};

struct Report {
  uint64_t expected = 0;     // messages checked
  uint64_t verified = 0;     // of them, found with every field equal
  uint64_t attachments = 0;  // attachments of the verified messages, at every depth
  std::vector<Difference> differences;
  std::vector<std::string> removed;  // ListUnmatched: stored messages whose source file was not checked
};

class StoreVerifier {
 public:
  // kCorruption naming the damage when the file's structure is not sound; kIoError when it cannot be read.
  // `check_structure`: first run the whole structural check of velmora-pst check (a file from elsewhere);
  // without it (a file this process has just written and committed) damage on the way to a message still
  // shows, as a difference naming the message.
  // The file is read under a shared lock (pst::OpenDiskFileShared): while a conversion writes it, Open
  // waits for it with `wait`, else fails saying so.
  static pst::Result<std::unique_ptr<StoreVerifier>> Open(const std::string& pst_path,
                                                          bool check_structure = true, bool wait = false);

  // Compares `expected` (Take of what the importer produced, with source, file and folder set). False when
  // no stored message has its source-file text: a difference unless `missing_is_difference` is false (a file
  // added to the source folder after the conversion), in which case the caller lists it.
  bool Check(const Fingerprint& expected, bool missing_is_difference = true);
  // Adds to `removed` the stored messages (with a source-file text) that no Check matched, as
  // "folder\source-file text".
  void ListUnmatched();
  const Report& report() const { return report_; }
  // The store's names of its default Inbox and Sent Items folders ("" when it has none).
  const std::string& inbox_name() const { return inbox_name_; }
  const std::string& sent_items_name() const { return sent_items_name_; }

 private:
  struct Entry {
    uint64_t key;     // hash of the source-file text
    uint64_t id_key;  // hash of the Message-ID field
    uint64_t offset;  // of the stored fingerprint in log_
    bool matched;
  };
  StoreVerifier() = default;
  Entry* Choose(const Fingerprint& expected, Fingerprint& stored);
  Entry* ChooseById(const Fingerprint& expected, Fingerprint& stored);

  FingerprintLog log_;
  std::vector<Entry> index_;     // sorted by key
  std::vector<uint32_t> by_id_;  // positions in index_, sorted by id_key
  std::string no_id_;            // the Message-ID field of a message without one
  Report report_;
  std::string inbox_name_, sent_items_name_;
};

}  // namespace velmora::verify
