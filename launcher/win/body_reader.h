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
// - fast: once the body has come at 2 MiB/s or more, 1 MiB reads, each on a
//   thread of the reader's own, waited for at most the rate floor's window.
//   A read that does not finish by then (the rate fell by a factor of
//   hundreds) is abandoned: the fetch fails like a time-out, and the thread
//   closes the request when its read finally returns.
// A fast read that is merely slow (over an eighth of the window) sends the
// reader back to careful mode. A body whose announced length is over 16 KiB
// starts fast (eight careful calls for 64 KiB cost more than a thread); the
// caller starts it careful again when an attempt had to abandon a read, so a
// link too slow for a whole read in one window still gets its file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "launcher/win/internet_transfer.h"

namespace vt::launcher {

class BodyReader {
public:
    // Takes over `connection` and `request` only when it abandons a read.
    BodyReader(UniqueInternetHandle& connection, UniqueInternetHandle& request, DWORD windowMs, bool startFast);
    ~BodyReader();
    BodyReader(const BodyReader&) = delete;
    BodyReader& operator=(const BodyReader&) = delete;

    enum class Status { Piece, End, Failed, Abandoned };
    // The next piece of the body; `data` stays valid until the next call.
    // `error` is the WinINet error of a failed read.
    Status Next(const char*& data, DWORD& size, DWORD& error);

    struct Shared;  // with the fast reads' thread

private:
    Status NextCareful(const char*& data, DWORD& size, DWORD& error);
    Status NextFast(const char*& data, DWORD& size, DWORD& error);

    UniqueInternetHandle& connection_;
    UniqueInternetHandle& request_;
    DWORD windowMs_;
    std::shared_ptr<Shared> shared_;
    win::UniqueKernelHandle thread_;
    std::vector<char> carefulBuffer_ = std::vector<char>(64 * 1024);
    bool fast_ = false;
    std::uint64_t carefulBytes_ = 0;
    ULONGLONG carefulStart_ = 0;
};

}  // namespace vt::launcher
