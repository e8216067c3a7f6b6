// The one SHA-256 digest type of both programs and vtlist: 32 bytes, as CNG,
// OpenSSL and the side file have it. Portable: the rules use it as well as
// the Windows layer.
#pragma once

#include <array>
#include <cstdint>

namespace vt {

using Sha256 = std::array<std::uint8_t, 32>;

}  // namespace vt
