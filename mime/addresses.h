// Mailboxes of the address headers and the properties Outlook keeps for them: the originator groups
// ([MS-OXCMAIL] 2.2.3.1.3, 2.6.4, 2.6.5), recipient rows (2.1.3.1.1, 2.6.6) and reply recipients (2.2.3.1.6).
#pragma once

#include <gmime/gmime.h>

#include <string>
#include <vector>

#include "mime/prop_tags.h"
#include "pst/content/message_content.h"
#include "pst/ltp/property_context.h"

namespace velmora::mime {

struct Mailbox {
  std::string name;     // decoded display name, never empty: the address when the header gave none
                        // (the address is empty when the header gave only a name)
  std::string address;  // the addr-spec as written
};

// The mailboxes of a parsed address list in order; a group contributes its members, an empty group nothing.
std::vector<Mailbox> MailboxesOf(InternetAddressList* list);

// The mailboxes of an address header's value (UTF-8, encoded words allowed). When GMime's reading misses
// mailboxes that the text holds (an unbalanced "(", "Name addr@host" without angle brackets), each
// comma-separated mailbox is read on its own and, failing that, its address is picked out of the text: one
// broken mailbox never hides the others, and a word of a display name is never taken for the address.
// `parsed`, when given, is GMime's reading of exactly `value` (the message's own list of that field): it is
// taken instead of parsing the text again.
std::vector<Mailbox> ParseMailboxes(const std::string& value, InternetAddressList* parsed = nullptr);

enum class RecipientKind : int32_t { kTo = 1, kCc = 2, kBcc = 3 };

// One recipient-table row for an SMTP one-off recipient. `order` is the row's position
// (PidTagRecipientOrder).
pst::PropertyMap RecipientRow(const Mailbox& mailbox, RecipientKind kind, int32_t order);
// The same row for a recipient held brief, made into `row` in place (pst::RecipientContent::Brief).
void RecipientRowOf(const pst::RecipientContent::Brief& brief, pst::PropertyMap& row);

// Fills one address group (sent-representing, sender, read receipt) of the message.
void SetAddressGroup(pst::PropertyMap& props, const tag::AddressGroup& group, const Mailbox& mailbox);
// Gives group `to` the values group `from` already holds (the same mailbox in both roles).
void CopyAddressGroup(pst::PropertyMap& props, const tag::AddressGroup& from, const tag::AddressGroup& to);

// PidTagDisplayTo/Cc/Bcc: names joined with "; ". A ';' inside a name would split it, so it becomes ','.
std::string JoinDisplayNames(const std::vector<Mailbox>& mailboxes);

}  // namespace velmora::mime
