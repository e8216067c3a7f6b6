#include "launcher/rules/p256_point.h"

#include <array>
#include <cstdint>

namespace vt::launcher {
namespace {

// 256-bit numbers as eight 32-bit limbs, least significant first. The check
// runs once per run on one key, so plain schoolbook arithmetic with a
// bit-by-bit reduction is enough, and it needs no 128-bit type.
using U256 = std::array<std::uint32_t, 8>;

U256 FromBigEndian(const std::uint8_t* bytes) {
    U256 n{};
    for (int i = 0; i < 32; ++i) n[static_cast<std::size_t>((31 - i) / 4)] |= std::uint32_t{bytes[i]} << (8 * ((31 - i) % 4));
    return n;
}

// p = 2^256 - 2^224 + 2^192 + 2^96 - 1 and b, from FIPS 186-4 (D.1.2.3).
constexpr U256 kP = {0xffffffff, 0xffffffff, 0xffffffff, 0x00000000, 0x00000000, 0x00000000, 0x00000001, 0xffffffff};
constexpr U256 kB = {0x27d2604b, 0x3bce3c3e, 0xcc53b0f6, 0x651d06b0, 0x769886bc, 0xb3ebbd55, 0xaa3a93e7, 0x5ac635d8};

bool Less(const U256& a, const U256& b) {
    for (int i = 7; i >= 0; --i)
        if (a[static_cast<std::size_t>(i)] != b[static_cast<std::size_t>(i)])
            return a[static_cast<std::size_t>(i)] < b[static_cast<std::size_t>(i)];
    return false;
}

// a - b, with the borrow out.
std::uint32_t Subtract(U256& a, const U256& b) {
    std::uint64_t borrow = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        const std::uint64_t d = std::uint64_t{a[i]} - b[i] - borrow;
        a[i] = static_cast<std::uint32_t>(d);
        borrow = (d >> 63) & 1;
    }
    return static_cast<std::uint32_t>(borrow);
}

std::uint32_t Add(U256& a, const U256& b) {
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        const std::uint64_t s = std::uint64_t{a[i]} + b[i] + carry;
        a[i] = static_cast<std::uint32_t>(s);
        carry = s >> 32;
    }
    return static_cast<std::uint32_t>(carry);
}

// Both below p.
U256 AddMod(U256 a, const U256& b) {
    const std::uint32_t carry = Add(a, b);
    if (carry || !Less(a, kP)) Subtract(a, kP);
    return a;
}

U256 SubMod(U256 a, const U256& b) {
    if (Subtract(a, b)) Add(a, kP);
    return a;
}

U256 MulMod(const U256& a, const U256& b) {
    std::array<std::uint32_t, 16> product{};
    for (std::size_t i = 0; i < 8; ++i) {
        std::uint64_t carry = 0;
        for (std::size_t j = 0; j < 8; ++j) {
            const std::uint64_t t = std::uint64_t{a[i]} * b[j] + product[i + j] + carry;
            product[i + j] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        product[i + 8] = static_cast<std::uint32_t>(carry);
    }
    // Reduce from the top bit down: r = 2r + bit, less p when it reaches p.
    U256 r{};
    for (int bit = 511; bit >= 0; --bit) {
        const std::uint32_t top = r[7] >> 31;
        for (std::size_t i = 7; i > 0; --i) r[i] = (r[i] << 1) | (r[i - 1] >> 31);
        r[0] = (r[0] << 1) | ((product[static_cast<std::size_t>(bit / 32)] >> (bit % 32)) & 1);
        if (top || !Less(r, kP)) Subtract(r, kP);
    }
    return r;
}

}  // namespace

bool IsP256Point(const PublicKey& key) {
    const U256 x = FromBigEndian(key.data()), y = FromBigEndian(key.data() + 32);
    if (!Less(x, kP) || !Less(y, kP)) return false;
    const U256 left = MulMod(y, y);
    const U256 three = AddMod(AddMod(x, x), x);
    const U256 right = AddMod(SubMod(MulMod(MulMod(x, x), x), three), kB);
    return left == right;
}

}  // namespace vt::launcher
