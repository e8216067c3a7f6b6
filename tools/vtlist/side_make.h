// The side file of a patch list: the list's own size and SHA-256, each
// entry's file (found below the release folder by its server path), whether
// the launcher may repair it, and, with a key, the release number, an
// optional end of life, the key's change statements and the signature over
// all of it. Entries are numbered as the launcher counts them (1 for the line
// after the heading), so a hand-written list can be hashed as it is.
//
// Refused (a problem, no side file): a file that changes while it is read (a
// signature over bytes that no longer exist), one local path listed twice
// with different contents, and, unless forced, leaving out of the hashes a
// file the starter runs: the default game executables and new launcher
// (DATA\AUDIO\ambienteA.utf, ambienteB.utf, ambienteC.utf) and any *.exe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "launcher/rules/block_index.h"
#include "tools/vtlist/signing.h"

namespace vt::vtlist {

struct SideOptions {
    std::vector<std::string> keepGlobs;      // not repaired by the launcher
    std::vector<std::string> unhashedGlobs;  // no line: the date rule alone
    bool forceUnhashed = false;              // also programs the starter runs
    std::optional<std::uint64_t> release;    // the release number; none: unnumbered
    std::optional<launcher::Validity> validity;
    std::vector<launcher::KeyChange> keyChanges;  // carried for launchers that trust an older key
    // Files of at least this many bytes get a block index ("blocks" line);
    // nothing: none does (for launchers from before block indexes).
    std::optional<std::uint64_t> blocksFrom = launcher::kDefaultBlocksFrom;
};

// A block index to write beside its file: the side file names its bytes.
struct BlockIndexFile {
    std::string path;   // "<release>/<server path>.vtblocks"
    std::string bytes;
};

// The side file's text for `list` (its bytes as they will be served), or
// empty with `problems` naming what could not be hashed (a file missing
// below `releaseRoot`, a malformed entry). Globs match the server path.
// `uncovered`: the entries no hash covers ("N server/path"), for the
// publisher to see what the signature does not vouch for. `indexes`: where
// the block indexes the side file names go (with none given, no index is
// made); the caller writes them before the side file.
std::string MakeSideFile(const std::string& list, const std::string& releaseRoot, const SideOptions& options,
                         const KeyPair* key, std::vector<std::string>& problems,
                         std::vector<std::string>* uncovered = nullptr, std::vector<BlockIndexFile>* indexes = nullptr);

// "<list>.vtsums" beside the list file.
std::string SideFilePathFor(const std::string& listPath);
// "<file>.vtblocks" beside a release file: its block index.
std::string BlockIndexPathFor(const std::string& filePath);

// Whether the starter runs the file at this local path (see above).
bool IsRunByTheStarter(const std::string& localPath);

}  // namespace vt::vtlist
