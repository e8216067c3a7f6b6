#include "tools/vtlist/private_file.h"

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>

#include <vector>

#include "platform/win/failure.h"
#include "platform/win/text_codes.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace vt::vtlist {

#ifdef _WIN32

namespace {

// The running user's SID, from the process token.
std::vector<unsigned char> UserSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    const bool ok = size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    ::CloseHandle(token);
    if (!ok) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const DWORD length = ::GetLengthSid(sid);
    const auto* bytes = static_cast<const unsigned char*>(sid);
    return std::vector<unsigned char>(bytes, bytes + length);
}

}  // namespace

PrivateFileResult CreatePrivateFile(const std::string& path, const std::string& bytes, std::string& why) {
    std::vector<unsigned char> sid = UserSid();
    if (sid.empty()) {
        why = "the current user cannot be determined: " + win::SystemMessage(::GetLastError());
        return PrivateFileResult::Failed;
    }
    // One entry: the user, full access; protected, so nothing is inherited.
    EXPLICIT_ACCESSA access{};
    access.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = reinterpret_cast<LPSTR>(sid.data());
    PACL acl = nullptr;
    if (::SetEntriesInAclA(1, &access, nullptr, &acl) != ERROR_SUCCESS) {
        why = "no access list could be made";
        return PrivateFileResult::Failed;
    }
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    ::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    HANDLE file = ::CreateFileW(win::PathW(path).c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = ::GetLastError();
    ::LocalFree(acl);
    if (file == INVALID_HANDLE_VALUE) {
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return PrivateFileResult::Exists;
        why = win::SystemErrorText(error);
        return PrivateFileResult::Failed;
    }
    DWORD written = 0;
    const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size() && ::FlushFileBuffers(file);
    const DWORD writeError = ::GetLastError();
    ::CloseHandle(file);
    if (!ok) {
        ::DeleteFileA(path.c_str());  // made here: a key cut short is no key
        why = "cannot write: " + win::SystemMessage(writeError);
        return PrivateFileResult::Failed;
    }
    return PrivateFileResult::Written;
}

#else

PrivateFileResult CreatePrivateFile(const std::string& path, const std::string& bytes, std::string& why) {
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (file < 0) {
        if (errno == EEXIST) return PrivateFileResult::Exists;
        why = std::strerror(errno);
        return PrivateFileResult::Failed;
    }
    const bool written = ::write(file, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    const int writeError = errno;
    if (::close(file) != 0 || !written) {
        ::unlink(path.c_str());  // made here: a key cut short is no key
        why = std::string("cannot write: ") + std::strerror(writeError);
        return PrivateFileResult::Failed;
    }
    return PrivateFileResult::Written;
}

#endif

}  // namespace vt::vtlist
