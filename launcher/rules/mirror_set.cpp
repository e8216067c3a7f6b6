#include "launcher/rules/mirror_set.h"

#include <algorithm>

#include "platform/text.h"

namespace vt::launcher {
namespace {

// A scheme and at least one character after it.
bool IsHttpUrl(std::string_view url) {
    auto starts = [&](std::string_view scheme) {
        return url.size() > scheme.size() && EqualsIgnoringAsciiCase(url.substr(0, scheme.size()), scheme);
    };
    return starts("http://") || starts("https://");
}

}  // namespace

std::vector<std::string> ParseMirrors(std::string_view value, std::vector<std::string>* refused) {
    std::vector<std::string> mirrors;
    for (std::size_t at = 0; at < value.size();) {
        if (value[at] == ' ' || value[at] == '\t') {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < value.size() && value[end] != ' ' && value[end] != '\t') ++end;
        const std::string url(value.substr(at, end - at));
        if (IsHttpUrl(url))
            mirrors.push_back(url);
        else if (refused)
            refused->push_back(url);
        at = end;
    }
    return mirrors;
}

MirrorSet::MirrorSet(std::string webPath, std::vector<std::string> mirrors) {
    sources_.push_back(std::move(webPath));
    for (std::string& mirror : mirrors) sources_.push_back(std::move(mirror));
    setAside_.assign(sources_.size(), false);
    served_.assign(sources_.size(), 0);
}

int MirrorSet::Pick(const std::vector<int>& tried) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto usable = [&](int source) {
        return !setAside_[static_cast<std::size_t>(source)] &&
               std::find(tried.begin(), tried.end(), source) == tried.end();
    };
    const int mirrors = static_cast<int>(sources_.size()) - 1;
    for (int step = 0; step < mirrors; ++step) {
        const int source = 1 + static_cast<int>((turn_ + static_cast<std::uint64_t>(step)) % static_cast<std::uint64_t>(mirrors));
        if (!usable(source)) continue;
        turn_ += static_cast<std::uint64_t>(step) + 1;
        return source;
    }
    return usable(kWebPath) ? kWebPath : kNone;
}

void MirrorSet::SetAside(int source) {
    std::lock_guard<std::mutex> lock(mutex_);
    setAside_[static_cast<std::size_t>(source)] = true;
}

bool MirrorSet::IsSetAside(int source) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return setAside_[static_cast<std::size_t>(source)];
}

void MirrorSet::CountServed(int source) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++served_[static_cast<std::size_t>(source)];
}

std::vector<std::uint64_t> MirrorSet::ServedCounts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return served_;
}

}  // namespace vt::launcher
