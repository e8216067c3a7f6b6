// One non-copyable owner per kind of system handle, every kind in this one
// place (as WIL has them). Each kind names its invalid value (NULL for process
// and event handles, INVALID_HANDLE_VALUE for files and searches) and its
// close function, so no road out of a scope leaks one.
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <wininet.h>

#include <utility>

struct gcry_md_handle;  // libgcrypt's digest object (sha256.cpp), opaque here

namespace vt::win {

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept : handle_(Traits::Invalid()) {}
    explicit UniqueHandle(Type h) noexcept : handle_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Type get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }
    Type release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
    // Keeps the thread's last error: a close after a failed call must not
    // change what GetLastError says about that call (as WIL's owners do).
    void reset(Type h = Traits::Invalid()) noexcept {
        if (handle_ != Traits::Invalid()) {
            const DWORD error = ::GetLastError();
            Traits::Close(handle_);
            ::SetLastError(error);
        }
        handle_ = h;
    }
    // For an API's out-parameter: what is held is closed, and the API writes
    // the new handle straight into the owner (no raw temporary to leak).
    Type* put() noexcept {
        reset();
        return &handle_;
    }

private:
    Type handle_;
};

struct NullHandleTraits {  // processes, threads, events
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct FileHandleTraits {  // CreateFile
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {  // FindFirstFile
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};

struct GdiObjectTraits {  // fonts, brushes
    using Type = HGDIOBJ;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};

struct InternetHandleTraits {  // WinINet sessions, connections, requests
    using Type = HINTERNET;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::InternetCloseHandle(h); }
};

struct AlgorithmHandleTraits {  // CNG algorithm providers
    using Type = BCRYPT_ALG_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};

struct HashHandleTraits {  // CNG hashes
    using Type = BCRYPT_HASH_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::BCryptDestroyHash(h); }
};

struct KeyHandleTraits {  // CNG keys
    using Type = BCRYPT_KEY_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::BCryptDestroyKey(h); }
};

struct DigestHandleTraits {  // libgcrypt digests (gcry_md_open)
    using Type = gcry_md_handle*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept;  // gcry_md_close, in sha256.cpp: only it includes gcrypt.h
};

using UniqueKernelHandle = UniqueHandle<NullHandleTraits>;
using UniqueInternetHandle = UniqueHandle<InternetHandleTraits>;
using UniqueAlgorithmHandle = UniqueHandle<AlgorithmHandleTraits>;
using UniqueHashHandle = UniqueHandle<HashHandleTraits>;
using UniqueKeyHandle = UniqueHandle<KeyHandleTraits>;
using UniqueDigestHandle = UniqueHandle<DigestHandleTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

}  // namespace vt::win
