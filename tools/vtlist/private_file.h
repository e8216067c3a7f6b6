// A new file only its owner can read: the publisher's private key. Never
// over an existing file (a lost key cannot be made again, and every player's
// PUBLICKEY= names the old one).
//
// POSIX: open(O_CREAT | O_EXCL) with mode 0600. Windows: CreateFile with
// CREATE_NEW and a protected DACL that grants the creating user alone full
// access; without it the file would inherit its folder's DACL, which under
// Wine becomes mode 0644 (readable by every local user), and on Windows
// often lets every user of the machine read it.
#pragma once

#include <string>

namespace vt::vtlist {

enum class PrivateFileResult { Written, Exists, Failed };

// `why`: the system's reason when Failed.
PrivateFileResult CreatePrivateFile(const std::string& path, const std::string& bytes, std::string& why);

}  // namespace vt::vtlist
