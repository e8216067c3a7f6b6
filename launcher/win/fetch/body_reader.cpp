#include "launcher/win/fetch/body_reader.h"

#include <atomic>

#include "platform/win/event.h"
#include "platform/win/failure.h"

namespace vt::launcher {
namespace {

constexpr std::size_t kFastReadBytes = 1024 * 1024;
constexpr std::uint64_t kSwitchAfterBytes = 256 * 1024;        // measured over 256 KiB ...
constexpr std::uint64_t kFastBytesPerSecond = 2 * 1024 * 1024;  // ... at 2 MiB/s or more: a 1 MiB read then takes
                                                                // half a second, sixty times less than the window

}  // namespace

struct FastReadThread::Shared {
    std::vector<char> buffer = std::vector<char>(kFastReadBytes);
    win::Event start{win::Event::Reset::Auto};
    win::Event done{win::Event::Reset::Auto};
    HINTERNET request = nullptr;
    HINTERNET connection = nullptr;
    std::atomic<bool> quit{false};
    std::atomic<bool> abandoned{false};  // the handles are the thread's to close
    BOOL ok = FALSE;
    DWORD got = 0;
    DWORD error = 0;
    DWORD size = kFastReadBytes;  // of the read asked for now
};

namespace {

// The thread's loop: it holds its own reference to the shared state, which
// lives until the thread is done, also when the reader has let it go.
void FastReads(const std::shared_ptr<FastReadThread::Shared>& shared) {
    FastReadThread::Shared& s = *shared;
    for (;;) {
        s.start.Wait();
        if (s.quit) break;
        DWORD got = 0;
        s.ok = ::InternetReadFile(s.request, s.buffer.data(), s.size, &got);
        s.error = s.ok ? 0 : ::GetLastError();
        s.got = got;
        if (s.abandoned) break;
        s.done.Set();
    }
    if (s.abandoned) {
        ::InternetCloseHandle(s.request);
        ::InternetCloseHandle(s.connection);
    }
}

}  // namespace

std::shared_ptr<FastReadThread> FastReadThread::Start() {
    std::shared_ptr<FastReadThread> made(new FastReadThread());
    made->shared_ = std::make_shared<Shared>();
    if (!made->shared_->start || !made->shared_->done) return nullptr;
    const std::optional<std::string> failed = win::FailureOf(
        [&] { made->thread_ = win::WorkerThread([shared = made->shared_] { FastReads(shared); }); });
    return failed ? nullptr : made;
}

FastReadThread::~FastReadThread() {
    if (!thread_) return;
    if (shared_->abandoned) {
        thread_.Detach();  // it ends by itself once its read returns
        return;
    }
    shared_->quit = true;
    shared_->start.Set();
    thread_.Wait();
}

bool FastReadThread::Read(HINTERNET request, DWORD timeoutMs, BOOL& ok, DWORD& got, DWORD& error, const char*& data,
                          DWORD most) {
    shared_->request = request;
    shared_->size = most > 0 && most < kFastReadBytes ? most : static_cast<DWORD>(kFastReadBytes);
    shared_->start.Set();
    if (!shared_->done.Wait(timeoutMs)) return false;
    ok = shared_->ok;
    got = shared_->got;
    error = shared_->error;
    data = shared_->buffer.data();
    return true;
}

void FastReadThread::Abandon(HINTERNET request, HINTERNET connection) {
    shared_->request = request;
    shared_->connection = connection;
    shared_->abandoned = true;
    // In case the read ended just now and the thread waits for the next one.
    shared_->quit = true;
    shared_->start.Set();
}

BodyReader::BodyReader(win::UniqueInternetHandle& connection, win::UniqueInternetHandle& request, DWORD windowMs,
                       bool startFast, std::shared_ptr<FastReadThread>& fastReads)
    : connection_(connection),
      request_(request),
      windowMs_(windowMs),
      fastReads_(fastReads),
      fast_(startFast),
      carefulStart_(::GetTickCount64()) {}

BodyReader::Status BodyReader::Next(const char*& data, DWORD& size, DWORD& error, DWORD most) {
    // Under a speed limit the fast reads are its shares: a read of what was
    // granted waits for nothing more than the bytes the limit allows.
    return fast_ ? NextFast(data, size, error, most) : NextCareful(data, size, error, most);
}

BodyReader::Status BodyReader::NextCareful(const char*& data, DWORD& size, DWORD& error, DWORD most) {
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(request_.get(), &available, 0, 0)) {
        error = ::GetLastError();
        return Status::Failed;
    }
    if (available == 0) return Status::End;
    DWORD got = 0;
    DWORD want = available < carefulBuffer_.size() ? available : static_cast<DWORD>(carefulBuffer_.size());
    if (most > 0 && want > most) want = most;
    if (!::InternetReadFile(request_.get(), carefulBuffer_.data(), want, &got)) {
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
    data = carefulBuffer_.data();
    size = got;
    return Status::Piece;
}

BodyReader::Status BodyReader::NextFast(const char*& data, DWORD& size, DWORD& error, DWORD most) {
    if (!fastReads_) fastReads_ = FastReadThread::Start();
    if (!fastReads_) {  // no thread to be had: read what has arrived
        fast_ = false;
        return NextCareful(data, size, error, most);
    }
    const ULONGLONG begin = ::GetTickCount64();
    BOOL ok = FALSE;
    DWORD got = 0;
    if (!fastReads_->Read(request_.get(), windowMs_, ok, got, error, data, most)) {
        fastReads_->Abandon(request_.release(), connection_.release());
        fastReads_.reset();
        return Status::Abandoned;
    }
    if (!ok) return Status::Failed;
    if (got == 0) return Status::End;
    if (::GetTickCount64() - begin > windowMs_ / 8) {  // slow now: read what is there again
        fast_ = false;
        carefulBytes_ = 0;
        carefulStart_ = ::GetTickCount64();
    }
    size = got;
    return Status::Piece;
}

}  // namespace vt::launcher
