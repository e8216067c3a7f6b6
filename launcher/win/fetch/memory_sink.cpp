#include "launcher/win/fetch/memory_sink.h"

#include "launcher/win/fetch/fetch_progress.h"

namespace vt::launcher {

bool MemorySink::Begin(std::uint64_t keep) {
    if (keep < body_.size()) body_.resize(static_cast<std::size_t>(keep));
    return keep <= body_.size();
}

bool MemorySink::Write(const char* data, std::size_t size) {
    body_.append(data, size);
    if (progress_) progress_->Arrived(size);
    return true;
}

bool MemorySink::Reserve(std::uint64_t bytes) {
    // The length was judged against the caller's cap before this is heard:
    // reserving it spares the doubling of a growing string, nothing more.
    body_.reserve(body_.size() + static_cast<std::size_t>(bytes));
    return true;
}

void MemorySink::Heard(const Answer& answer) {
    status_ = answer.status;
    contentType_ = answer.contentType.value_or("");
    contentRange_ = answer.contentRange;
}

}  // namespace vt::launcher
