// The block index vtlist writes beside a big file of a release
// ("<file>.vtblocks", its format in launcher/rules/block_index.h), so that
// launchers with an older copy fetch only the blocks that changed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vt::vtlist {

// The index of the file at `path` (UTF-8), read whole; nothing when it
// cannot be read or is not `size` bytes long.
std::optional<std::string> BlockIndexOfFile(const std::string& path, std::uint64_t size);

// "<file>.vtblocks" beside the file.
std::string BlockIndexPathFor(const std::string& filePath);

}  // namespace vt::vtlist
