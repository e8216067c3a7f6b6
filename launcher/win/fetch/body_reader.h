// Reading a response body piece by piece, fast, and never held by a server
// that drips.
//
// Wine's WinINet (like Windows') returns from InternetReadFile only when the
// buffer is full or the body has ended, and closing the handle does not
// interrupt it; what has arrived without waiting is at most 8 KiB a call.
// So the reader works in two modes:
// - careful: asks InternetQueryDataAvailable and reads only what is there, so
//   every piece comes back at once and the caller's rate floor sees it; about
//   100 us a call under Wine, fine for small bodies and slow links;
// - fast: 1 MiB reads (under a speed limit, its shares) on the transfer's
//   FastReadThread, waited for at most the
//   rate floor's window. A read that does not finish by then is abandoned: the
//   fetch fails like a time-out, and the thread closes the request when its
//   read finally returns, then ends (the transfer starts a new one).
// A body starts fast when its announced length is over 16 KiB (eight careful
// calls for 64 KiB cost more than a hand-over to the thread), and switches to
// fast once it has come at 2 MiB/s or more. A fast read that is merely slow
// (over an eighth of the window) sends the reader back to careful mode. The
// caller starts the next attempt careful when one had to abandon a read, so a
// link too slow for a whole read in one window still gets its file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/win/handles.h"
#include "platform/win/worker_thread.h"

namespace vt::launcher {

// The thread that does the fast reads, kept from fetch to fetch (a thread
// start costs milliseconds under Wine). One fetch uses it at a time.
class FastReadThread {
public:
    static std::shared_ptr<FastReadThread> Start();  // nothing when no thread can be made
    ~FastReadThread();
    FastReadThread(const FastReadThread&) = delete;
    FastReadThread& operator=(const FastReadThread&) = delete;

    // One read of up to 1 MiB of `request`; false when it did not finish
    // within `timeoutMs` (then Abandon must follow).
    // `most` (when not 0) makes it a smaller read: a speed limit's share.
    bool Read(HINTERNET request, DWORD timeoutMs, BOOL& ok, DWORD& got, DWORD& error, const char*& data,
              DWORD most = 0);
    // The handles go to the thread, which closes them when the read returns
    // and ends. The object must not be used again.
    void Abandon(HINTERNET request, HINTERNET connection);

    struct Shared;

private:
    FastReadThread() = default;
    std::shared_ptr<Shared> shared_;
    win::WorkerThread thread_;
};

class BodyReader {
public:
    // Takes over `connection` and `request` only when it abandons a read;
    // `fastReads` is the transfer's thread, started here when first needed
    // and dropped when a read was abandoned.
    BodyReader(win::UniqueInternetHandle& connection, win::UniqueInternetHandle& request, DWORD windowMs, bool startFast,
               std::shared_ptr<FastReadThread>& fastReads);
    BodyReader(const BodyReader&) = delete;
    BodyReader& operator=(const BodyReader&) = delete;

    enum class Status { Piece, End, Failed, Abandoned };
    // The next piece of the body; `data` stays valid until the next call.
    // `error` is the WinINet error of a failed read. `most`: the largest
    // piece that may be read now (a speed limit's share; 0: any), always
    // read carefully, since a fast read takes a whole 1 MiB.
    Status Next(const char*& data, DWORD& size, DWORD& error, DWORD most = 0);

private:
    Status NextCareful(const char*& data, DWORD& size, DWORD& error, DWORD most);
    Status NextFast(const char*& data, DWORD& size, DWORD& error, DWORD most);

    win::UniqueInternetHandle& connection_;
    win::UniqueInternetHandle& request_;
    DWORD windowMs_;
    std::shared_ptr<FastReadThread>& fastReads_;
    std::vector<char> carefulBuffer_ = std::vector<char>(64 * 1024);
    bool fast_ = false;
    std::uint64_t carefulBytes_ = 0;
    ULONGLONG carefulStart_ = 0;
};

}  // namespace vt::launcher
