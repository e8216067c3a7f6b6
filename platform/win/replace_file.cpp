#include "platform/win/replace_file.h"

#include <windows.h>

#include "platform/win/failure.h"
#include "platform/win/handles.h"

namespace vt::win {

std::string TemporaryPathBeside(const std::string& target, const std::string& suffix) {
    return target + "." + std::to_string(::GetCurrentProcessId()) + suffix;
}

bool FlushFileToDisk(const std::string& path) {
    UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ::FlushFileBuffers(file.get());
}

bool ReplaceFileWith(const std::string& temporary, const std::string& target) {
    // MoveFileEx refuses to replace a read-only target (and Windows a hidden
    // or system one): normal attributes for the moment of the move.
    const DWORD attributes = ::GetFileAttributesA(target.c_str());
    const bool clear = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                       (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    if (clear) ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (::MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    const DWORD error = ::GetLastError();
    if (clear) ::SetFileAttributesA(target.c_str(), attributes);
    ::SetLastError(error);
    return false;
}

bool CopyFileReplacing(const std::string& source, const std::string& target, std::string* error) {
    const std::string temporary = TemporaryPathBeside(target, ".vttmp");
    auto fail = [&](const char* step) {
        const DWORD code = ::GetLastError();
        if (error) *error = std::string(step) + ": " + SystemMessage(code) + " (error " + std::to_string(code) + ")";
        ::SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(temporary.c_str());
        return false;
    };
    if (!::CopyFileA(source.c_str(), temporary.c_str(), FALSE)) return fail("cannot copy");
    // CopyFile carries the source's attributes over: a read-only copy could
    // be neither flushed nor moved.
    ::SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!FlushFileToDisk(temporary)) return fail("cannot flush the copy");
    if (!ReplaceFileWith(temporary, target)) return fail("cannot replace the target");
    return true;
}

}  // namespace vt::win
