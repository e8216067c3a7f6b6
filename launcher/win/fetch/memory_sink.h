// A body read whole into memory: a block index, or the answer to a partial
// update's range request. It goes through the one fetch road
// (InternetTransfer::Fetch) like a file's body, with its retries, its
// Retry-After, its rate floor and its checks of status and length; the sink
// only keeps the bytes, and the answer's headers that its pieces are read
// by. The caller's cap (Fetch's maxBytes) bounds what it holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "launcher/win/fetch/internet_transfer.h"

namespace vt::launcher {

class FetchProgress;

class MemorySink : public DownloadSink {
public:
    // Each piece that arrives is told to `progress` (FetchProgress::Arrived).
    explicit MemorySink(FetchProgress* progress = nullptr) : progress_(progress) {}

    bool Begin(std::uint64_t keep) override;
    bool Write(const char* data, std::size_t size) override;
    bool Reserve(std::uint64_t bytes) override;
    void Heard(const Answer& answer) override;

    unsigned Status() const { return status_; }  // of the last answer heard, 0 before any
    const std::string& ContentType() const { return contentType_; }
    const std::optional<std::string>& ContentRange() const { return contentRange_; }
    const std::string& Body() const { return body_; }

private:
    FetchProgress* progress_;
    unsigned status_ = 0;
    std::string contentType_;
    std::optional<std::string> contentRange_;
    std::string body_;
};

}  // namespace vt::launcher
