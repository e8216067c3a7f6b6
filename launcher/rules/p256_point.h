// Whether a PUBLICKEY= value is a point of the P-256 curve at all. CNG on
// Windows refuses such a key when it is imported, but Wine's bcrypt imports
// any 64 bytes and only the signature check fails later, which would blame
// the side file for what is a wrong setting. So the launcher asks first, on
// every system, and says which it is.
#pragma once

#include "launcher/rules/side_file.h"

namespace vt::launcher {

// True when X and Y (big-endian, 32 bytes each) are below the field prime and
// satisfy y^2 = x^3 - 3x + b (mod p): a point on the curve, not infinity.
bool IsP256Point(const PublicKey& key);

}  // namespace vt::launcher
