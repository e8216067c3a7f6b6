#include "launcher/win/body_reader.h"

#include <atomic>
#include <vector>

namespace vt::launcher {

namespace {
constexpr std::size_t kFastReadBytes = 1024 * 1024;
constexpr std::uint64_t kSwitchAfterBytes = 256 * 1024;        // measured over the first 256 KiB ...
constexpr std::uint64_t kFastBytesPerSecond = 2 * 1024 * 1024;  // ... at 2 MiB/s or more: a 1 MiB read then takes
                                                                // half a second, sixty times less than the window
}  // namespace

struct BodyReader::Shared {
    HINTERNET request = nullptr;
    HINTERNET connection = nullptr;
    std::vector<char> buffer = std::vector<char>(kFastReadBytes);
    win::UniqueKernelHandle start{::CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    win::UniqueKernelHandle done{::CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    std::atomic<bool> quit{false};
    std::atomic<bool> ownsHandles{false};  // set when the read was abandoned
    BOOL ok = FALSE;
    DWORD got = 0;
    DWORD error = 0;
};

namespace {

DWORD WINAPI FastReads(void* parameter) {
    // The thread's own reference: the state lives until it is done with it.
    std::unique_ptr<std::shared_ptr<BodyReader::Shared>> owned(static_cast<std::shared_ptr<BodyReader::Shared>*>(parameter));
    BodyReader::Shared& s = **owned;
    for (;;) {
        ::WaitForSingleObject(s.start.get(), INFINITE);
        if (s.quit) break;
        DWORD got = 0;
        s.ok = ::InternetReadFile(s.request, s.buffer.data(), static_cast<DWORD>(s.buffer.size()), &got);
        s.error = s.ok ? 0 : ::GetLastError();
        s.got = got;
        if (s.ownsHandles) break;  // abandoned while it read
        ::SetEvent(s.done.get());
    }
    if (s.ownsHandles) {
        ::InternetCloseHandle(s.request);
        ::InternetCloseHandle(s.connection);
    }
    return 0;
}

}  // namespace

BodyReader::BodyReader(UniqueInternetHandle& connection, UniqueInternetHandle& request, DWORD windowMs, bool startFast)
    : connection_(connection), request_(request), windowMs_(windowMs), fast_(startFast), carefulStart_(::GetTickCount64()) {}

BodyReader::~BodyReader() {
    if (!thread_ || !shared_) return;
    if (shared_->ownsHandles) return;  // abandoned: the thread ends by itself
    shared_->quit = true;
    ::SetEvent(shared_->start.get());
    ::WaitForSingleObject(thread_.get(), INFINITE);
}

BodyReader::Status BodyReader::Next(const char*& data, DWORD& size, DWORD& error) {
    return fast_ ? NextFast(data, size, error) : NextCareful(data, size, error);
}

BodyReader::Status BodyReader::NextCareful(const char*& data, DWORD& size, DWORD& error) {
    std::vector<char>& piece = carefulBuffer_;
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(request_.get(), &available, 0, 0)) {
        error = ::GetLastError();
        return Status::Failed;
    }
    if (available == 0) return Status::End;
    DWORD got = 0;
    const DWORD want = available < piece.size() ? available : static_cast<DWORD>(piece.size());
    if (!::InternetReadFile(request_.get(), piece.data(), want, &got)) {
        error = ::GetLastError();
        return Status::Failed;
    }
    if (got == 0) return Status::End;
    carefulBytes_ += got;
    if (carefulBytes_ >= kSwitchAfterBytes) {
        const ULONGLONG elapsed = ::GetTickCount64() - carefulStart_;
        if (elapsed == 0 || carefulBytes_ * 1000 / elapsed >= kFastBytesPerSecond) fast_ = true;
        carefulBytes_ = 0;
        carefulStart_ = ::GetTickCount64();
    }
    data = piece.data();
    size = got;
    return Status::Piece;
}

BodyReader::Status BodyReader::NextFast(const char*& data, DWORD& size, DWORD& error) {
    if (!thread_) {
        shared_ = std::make_shared<Shared>();
        shared_->request = request_.get();
        shared_->connection = connection_.get();
        auto* reference = new std::shared_ptr<Shared>(shared_);
        thread_.reset(::CreateThread(nullptr, 0, FastReads, reference, 0, nullptr));
        if (!thread_) {
            delete reference;
            shared_.reset();
            fast_ = false;
            return NextCareful(data, size, error);
        }
    }
    const ULONGLONG begin = ::GetTickCount64();
    ::SetEvent(shared_->start.get());
    if (::WaitForSingleObject(shared_->done.get(), windowMs_) != WAIT_OBJECT_0) {
        // The read goes on without us; its thread closes the handles.
        shared_->ownsHandles = true;
        shared_->quit = true;
        ::SetEvent(shared_->start.get());  // in case the read ended just now and the thread waits again
        request_.release();
        connection_.release();
        return Status::Abandoned;
    }
    if (!shared_->ok) {
        error = shared_->error;
        return Status::Failed;
    }
    if (shared_->got == 0) return Status::End;
    if (::GetTickCount64() - begin > windowMs_ / 8) {  // slow now: read what is there again
        fast_ = false;
        carefulBytes_ = 0;
        carefulStart_ = ::GetTickCount64();
    }
    data = shared_->buffer.data();
    size = shared_->got;
    return Status::Piece;
}

}  // namespace vt::launcher
