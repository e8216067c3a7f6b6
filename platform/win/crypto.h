// ECDSA P-256 verification through Windows' own CNG (bcrypt.dll). Under
// Wine 8 the same calls accept a signature made by OpenSSL (r || s, 64
// bytes). SHA-256 is in sha256.h (libgcrypt), included here for the many
// callers that need both.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/digest.h"
#include "platform/win/handles.h"
#include "platform/win/sha256.h"

namespace vt::win {

// True only when `signature` (r || s) is a valid ECDSA P-256 signature over
// `digest` by the key whose point is `publicKey` (X || Y).
bool VerifyP256(const std::array<std::uint8_t, 64>& publicKey, const Sha256& digest,
                const std::array<std::uint8_t, 64>& signature);

}  // namespace vt::win
