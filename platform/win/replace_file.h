// Replace, never delete-then-write. A file that the programs put in place is
// first written completely into a temporary file beside its target (same
// folder, so the same volume), flushed to the disk, and then moved over the
// target in one step. On every failure the target stays byte for byte, with its
// attributes, and the temporary file is removed.
#pragma once

#include <string>

namespace vt::win {

// "<target>.<process id><suffix>": beside the target, and unique to this
// process, so two programs never write into one temporary file.
std::string TemporaryPathBeside(const std::string& target, const std::string& suffix);

// Writes the file's buffers through to the disk. False when it cannot be
// opened for writing or the flush fails.
bool FlushFileToDisk(const std::string& path);

// Moves the finished (and flushed) `temporary` over `target` in one step,
// MoveFileEx with write-through. A read-only, hidden or system target is
// replaced too; when the move fails the target gets its attributes back. A
// target another program holds for a moment is waited for (held_file.h).
// The temporary file is left to the caller on failure.
bool ReplaceFileWith(const std::string& temporary, const std::string& target);

// Copies `source` over `target` as above, a short hold of the source waited
// out too. `error` gets the reason of a failure.
bool CopyFileReplacing(const std::string& source, const std::string& target, std::string* error = nullptr);

// Writes `bytes` over `target` as above.
bool WriteFileReplacing(const std::string& target, const std::string& bytes, std::string* error = nullptr);

}  // namespace vt::win
