// Messages for checking that two SHA-256 implementations agree: the NIST
// vectors, then random bytes of random lengths, each cut into random pieces,
// all from a fixed seed so that a native build (OpenSSL) and the Windows
// build (libgcrypt, CNG under Wine) make the same messages. The native test
// writes each case's digest to a file; the Wine test reads it back.
//
// Lengths favour the places where SHA-256's padding changes (55, 56, 63, 64
// bytes past a block) and cross libgcrypt's internal buffer and the 1 MiB
// pieces of a file read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vt::test {

struct KnownSha256 {
    std::string message;
    const char* digest;  // lower-case hex
};

// FIPS 180-2 appendix B: "abc", the 448-bit message, one million "a"; and
// the empty message.
inline std::vector<KnownSha256> NistSha256Vectors() {
    return {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
}

// splitmix64: small, and the same numbers on every compiler and system.
class CaseRandom {
public:
    explicit CaseRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t bound) { return bound == 0 ? 0 : static_cast<std::size_t>(Next() % bound); }

private:
    std::uint64_t state_;
};

struct Sha256Case {
    std::string message;
    std::vector<std::size_t> pieces;  // lengths that add up to the message's
};

constexpr int kSha256Cases = 200;

inline Sha256Case MakeSha256Case(int index) {
    CaseRandom random(0x5641525441ull * 1000 + static_cast<std::uint64_t>(index));
    std::size_t length = 0;
    switch (index % 4) {
    case 0: length = random.Below(200); break;                                  // a few blocks
    case 1: length = 64 * random.Below(40) + 55 + random.Below(10); break;     // around the padding's edge
    case 2: length = random.Below(300000); break;                              // many blocks
    default: length = (1u << 20) * (1 + random.Below(2)) + random.Below(130) - 65; break;  // around a 1 MiB read
    }
    Sha256Case result;
    result.message.resize(length);
    for (std::size_t at = 0; at < length; at += 8) {
        const std::uint64_t word = random.Next();
        for (std::size_t k = 0; k < 8 && at + k < length; ++k) result.message[at + k] = static_cast<char>(word >> (8 * k));
    }
    for (std::size_t left = length; left > 0;) {
        // Mostly short pieces, now and then one of up to 200 KiB.
        const std::size_t most = random.Below(8) == 0 ? 200000 : 130;
        const std::size_t piece = std::min(left, 1 + random.Below(most));
        result.pieces.push_back(piece);
        left -= piece;
    }
    return result;
}

}  // namespace vt::test
