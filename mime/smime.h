// Recognising S/MIME at the top of a message ([MS-OXOSMIME] 2.1.3.1, 2.1.3.2): a clear-signed
// multipart/signed with a PKCS #7 signature, or an opaque-signed / encrypted application/pkcs7-mime entity.
// OpenPGP (multipart/signed with application/pgp-signature) is ordinary MIME to Outlook.
#pragma once

#include <gmime/gmime.h>

namespace velmora::mime {

enum class SmimeKind { kNone, kClearSigned, kOpaque };

SmimeKind ClassifySmime(GMimeObject* root);

}  // namespace velmora::mime
