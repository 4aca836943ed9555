// RDOMAPIUtils::HrSetOneProp and the conversion of an automation value to a stored property value.
#include <limits>

#include "pst/messaging/node_io.h"
#include "pst/tags/prop_tags.h"
#include "rdo/rdo_mail.h"

namespace velmora::rdo {

namespace {

using pst::tags::kFirstNamedId;  // IDs from here on name entries of the store's name-to-ID map

[[noreturn]] void WrongType(pst::PropTag tag, const char* given) {
  throw Error(kEInvalidArg, std::string("A ") + given + " value does not suit property " + pst::NidText(tag));
}

// The value as stored for `tag`, and the tag it is stored under (String8 becomes String: the store is
// Unicode).
std::pair<pst::PropTag, pst::PropValue> Convert(pst::PropTag tag, const PropVariant& value) {
  const uint16_t type = pst::TagType(tag);
  if (const int32_t* i = std::get_if<int32_t>(&value)) {
    switch (type) {
      case pst::kPtypInteger16:
        if (*i < std::numeric_limits<int16_t>::min() || *i > std::numeric_limits<int16_t>::max())
          throw Error(kEInvalidArg, std::to_string(*i) + " does not fit property " + pst::NidText(tag));
        return {tag, pst::PropValue::Int16(static_cast<int16_t>(*i))};
      case pst::kPtypInteger32:
        return {tag, pst::PropValue::Int32(*i)};
      case pst::kPtypInteger64:
        return {tag, pst::PropValue::Int64(*i)};
      case pst::kPtypBoolean:
        return {tag, pst::PropValue::Bool(*i != 0)};
      default:
        WrongType(tag, "number");
    }
  }
  if (const bool* b = std::get_if<bool>(&value)) {
    if (type != pst::kPtypBoolean) WrongType(tag, "Boolean");
    return {tag, pst::PropValue::Bool(*b)};
  }
  const std::string& s = std::get<std::string>(value);
  if (type != pst::kPtypString && type != pst::kPtypString8) WrongType(tag, "text");
  return {pst::MakeTag(pst::TagId(tag), pst::kPtypString), pst::PropValue::String(s)};
}

}  // namespace

void MAPIMessage::SetProp(pst::PropTag tag, const PropVariant& value) {
  if (pst::TagId(tag) >= kFirstNamedId) {
    throw Error(kMapiNoSupport, "Property " + pst::NidText(tag) +
                                    " is a named property ID; set named properties by name instead");
  }
  auto [stored_tag, stored] = Convert(tag, value);
  content_.props[pst::TagId(stored_tag)] = std::move(stored);
  changed_ = true;
}

void RDOMAPIUtils::HrSetOneProp(const std::shared_ptr<Object>& mapi_object, uint32_t tag,
                                const PropVariant& value, bool save) {
  auto message = std::dynamic_pointer_cast<MAPIMessage>(mapi_object);
  if (!message)
    throw Error(kEInvalidArg, "HrSetOneProp needs a message object (the MAPIOBJECT of a message)");
  message->SetProp(tag, value);
  if (save) message->Save();
}

}  // namespace velmora::rdo
