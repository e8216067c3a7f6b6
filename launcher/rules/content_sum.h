// A fast checksum of a partial file's bytes, for the resume record: it lets
// the next run check that the bytes the record vouches for are still the ones
// written (nothing zeroed or changed on the disk meanwhile). It guards against
// accidents, not attackers: what a publisher released is checked by the side
// file's SHA-256. XXH3 (128 bits, Debian's libxxhash-dev, used header-only)
// runs at memory speed, where SHA-256 through Wine's bcrypt makes a fast
// download three times slower.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vt::launcher {

using ContentDigest = std::array<std::uint8_t, 16>;

class ContentSum {
public:
    ContentSum();
    ~ContentSum();
    ContentSum(const ContentSum&) = delete;
    ContentSum& operator=(const ContentSum&) = delete;
    // A sum moved from may only be assigned to or destroyed.
    ContentSum(ContentSum&&) noexcept;
    ContentSum& operator=(ContentSum&&) noexcept;

    void Add(const void* data, std::size_t size);
    // The checksum of everything added so far; adding may go on afterwards.
    ContentDigest Digest() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

ContentDigest ContentSumOf(const void* data, std::size_t size);

}  // namespace vt::launcher
