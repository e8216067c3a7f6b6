#include "launcher/rules/content_sum.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace vt::launcher {

struct ContentSum::State {
    XXH3_state_t xxh;
};

ContentSum::ContentSum() : state_(std::make_unique<State>()) { XXH3_128bits_reset(&state_->xxh); }

ContentSum::~ContentSum() = default;
ContentSum::ContentSum(ContentSum&&) noexcept = default;
ContentSum& ContentSum::operator=(ContentSum&&) noexcept = default;

void ContentSum::Add(const void* data, std::size_t size) { XXH3_128bits_update(&state_->xxh, data, size); }

ContentDigest ContentSum::Digest() const {
    XXH128_canonical_t canonical;  // big-endian, the same bytes on every machine
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(&state_->xxh));
    ContentDigest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = canonical.digest[i];
    return digest;
}

ContentDigest ContentSumOf(const void* data, std::size_t size) {
    ContentSum sum;
    sum.Add(data, size);
    return sum.Digest();
}

}  // namespace vt::launcher
