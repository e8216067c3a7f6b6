#include "platform/win/replace_file.h"
#include "platform/win/text_codes.h"

#include <windows.h>

#include "platform/win/failure.h"
#include "platform/win/files.h"
#include "platform/win/handles.h"
#include "platform/win/held_file.h"

namespace vt::win {

std::string TemporaryPathBeside(const std::string& target, const std::string& suffix) {
    return target + "." + std::to_string(::GetCurrentProcessId()) + suffix;
}

bool FlushFileToDisk(const std::string& path) {
    UniqueFileHandle file(::CreateFileW(PathW(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ::FlushFileBuffers(file.get());
}

namespace {

bool ReplaceOnce(const std::string& temporary, const std::string& target) {
    // The move is tried first: asking for a target's attributes before it
    // would cost, for a new file, a scan of its whole folder under Wine (a
    // missing name is looked for case-insensitively), once more per file.
    constexpr DWORD kMove = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (::MoveFileExW(PathW(temporary).c_str(), PathW(target).c_str(), kMove)) return true;
    const DWORD firstError = ::GetLastError();
    // MoveFileEx refuses to replace a read-only target (and Windows a hidden
    // or system one): normal attributes for the moment of the move.
    const DWORD attributes = ::GetFileAttributesW(PathW(target).c_str());
    const bool clear = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                       (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    if (!clear) {  // nothing in the way to clear: the move's own answer stands
        ::SetLastError(firstError);
        return false;
    }
    ::SetFileAttributesW(PathW(target).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (::MoveFileExW(PathW(temporary).c_str(), PathW(target).c_str(), kMove)) return true;
    const DWORD error = ::GetLastError();
    ::SetFileAttributesW(PathW(target).c_str(), attributes);
    ::SetLastError(error);
    return false;
}

}  // namespace

bool ReplaceFileWith(const std::string& temporary, const std::string& target) {
    // A target held by another program for a moment (a scanner reading the
    // old file, the game's own anti-cheat) refuses the move: waited out.
    return WhileHeldOrDenied(target, HoldBound::Use, [&] { return ReplaceOnce(temporary, target); });
}

namespace {

// Removes the temporary file of a failed replace and says why it failed.
bool Failed(const std::string& temporary, const char* step, std::string* error) {
    const DWORD code = ::GetLastError();
    if (error) *error = std::string(step) + ": " + SystemErrorText(code);
    DeleteClearingAttributes(temporary);
    return false;
}

}  // namespace

bool WriteFileReplacing(const std::string& target, const std::string& bytes, std::string* error) {
    const std::string temporary = TemporaryPathBeside(target, ".vttmp");
    {
        UniqueFileHandle file = OpenAlone(temporary, GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
        if (!file) return Failed(temporary, "cannot create the new file", error);
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size())
            return Failed(temporary, "cannot write the new file", error);
        if (!::FlushFileBuffers(file.get())) return Failed(temporary, "cannot flush the new file", error);
    }
    if (!ReplaceFileWith(temporary, target)) return Failed(temporary, "cannot replace the target", error);
    return true;
}

bool CopyFileReplacing(const std::string& source, const std::string& target, std::string* error) {
    const std::string temporary = TemporaryPathBeside(target, ".vttmp");
    auto fail = [&](const char* step) { return Failed(temporary, step, error); };
    const bool copied = WhileHeld(source, HoldBound::Use, [&] {
        return ::CopyFileW(PathW(source).c_str(), PathW(temporary).c_str(), FALSE) != FALSE;
    });
    if (!copied) return fail("cannot copy");
    // CopyFile carries the source's attributes over: a read-only copy could
    // be neither flushed nor moved.
    ::SetFileAttributesW(PathW(temporary).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!FlushFileToDisk(temporary)) return fail("cannot flush the copy");
    if (!ReplaceFileWith(temporary, target)) return fail("cannot replace the target");
    return true;
}

}  // namespace vt::win
