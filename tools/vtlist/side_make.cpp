#include "tools/vtlist/side_make.h"
#include "tools/vtlist/file_path.h"

#include <filesystem>
#include <system_error>

#include "platform/text.h"
#include "config/text_lines.h"
#include "launcher/rules/patch_entry.h"
#include "launcher/rules/update_rules.h"
#include "tools/vtlist/list_make.h"

namespace vt::vtlist {
namespace {

bool AnyMatch(const std::vector<std::string>& globs, const std::string& path) {
    for (const std::string& glob : globs)
        if (GlobMatch(glob, path)) return true;
    return false;
}

// What one read of a release file gives: its digest and, for a big enough
// file, its block index (the same read feeds both).
struct FileRead {
    FileDigest digest;
    std::optional<std::string> index;
};

// The file read once, when it stayed the same while it was read; a file of
// at least `blocksFrom` bytes gets its block index too.
std::optional<FileRead> StableRead(const std::string& path, std::optional<std::uint64_t> blocksFrom,
                                   std::string& problem) {
    const std::optional<FileState> before = FileStateOf(path);
    std::optional<launcher::BlockIndexMaker> maker;
    if (before && blocksFrom && before->size >= *blocksFrom && before->size > 0)
        maker.emplace(before->size, launcher::BlockSizeFor(before->size));
    const std::optional<FileDigest> digest =
        DigestOfFile(path, maker ? PieceReader([&](const std::uint8_t* data, std::size_t size) { maker->Add(data, size); })
                                 : PieceReader{});
    const std::optional<FileState> after = FileStateOf(path);
    if (!before || !digest || !after) {
        problem = "cannot read " + path;
        return std::nullopt;
    }
    if (!(*before == *after) || digest->size != after->size) {
        problem = path + " changed while it was read (its size or time differ): sign when nothing writes to the release";
        return std::nullopt;
    }
    FileRead read{*digest, std::nullopt};
    if (maker) {
        const std::optional<launcher::BlockIndex> index = maker->Finish();
        if (!index) {
            problem = "cannot make the block index of " + path;
            return std::nullopt;
        }
        read.index = launcher::FormatBlockIndex(*index);
    }
    return read;
}

// The side file's line of one file (`path` as the server has it), with its
// block index when it is big enough.
std::optional<launcher::SideEntry> HashedEntry(const std::string& file, const std::string& path,
                                               const SideOptions& options, std::vector<BlockIndexFile>* indexes,
                                               std::string& problem) {
    std::optional<FileRead> read = StableRead(file, indexes ? options.blocksFrom : std::nullopt, problem);
    if (!read) return std::nullopt;
    launcher::SideEntry side{read->digest.size, read->digest.hash, !AnyMatch(options.keepGlobs, path), std::nullopt};
    if (read->index) {
        side.blocks = launcher::BlockIndexSum{read->index->size(), Sha256Of(*read->index)};
        indexes->push_back(BlockIndexFile{BlockIndexPathFor(file), std::move(*read->index)});
    }
    return side;
}

}  // namespace

bool IsRunByTheStarter(const std::string& localPath) {
    std::string path = ToAsciiUpper(localPath);
    for (char& c : path)
        if (c == '/') c = '\\';
    const std::size_t slash = path.find_last_of('\\');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() > 4 && name.substr(name.size() - 4) == ".EXE") return true;
    for (const char* program : {"DATA\\AUDIO\\AMBIENTEA.UTF", "DATA\\AUDIO\\AMBIENTEB.UTF", "DATA\\AUDIO\\AMBIENTEC.UTF"})
        if (path.size() >= std::string(program).size() &&
            path.compare(path.size() - std::string(program).size(), std::string::npos, program) == 0)
            return true;
    return false;
}

std::string MakeSideFile(const std::string& list, const std::string& releaseRoot, const SideOptions& options,
                         const KeyPair* key, std::vector<std::string>& problems, std::vector<std::string>* uncovered,
                         std::vector<BlockIndexFile>* indexes) {
    launcher::SideFile sums;
    sums.listSize = list.size();
    sums.listHash = Sha256Of(list);
    sums.release = options.release;
    sums.validity = options.validity;
    sums.keyChanges = options.keyChanges;
    const std::vector<std::string> entries = launcher::PatchListEntries(SplitTextLines(list));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto index = static_cast<std::int32_t>(i + 1);
        const auto entry = launcher::SplitPatchEntry(entries[i]);
        if (!entry) {
            problems.push_back("entry " + std::to_string(index) + ": not three fields");
            continue;
        }
        std::string path = entry->RemotePath;  // "\" since the list was read; the server's "/"
        for (char& c : path)
            if (c == '\\') c = '/';
        if (AnyMatch(options.unhashedGlobs, path)) {
            if (IsRunByTheStarter(entry->LocalPath) && !options.forceUnhashed) {
                problems.push_back("entry " + std::to_string(index) + ": " + path + " is a program the starter runs (" +
                                   entry->LocalPath + "); it is not left unhashed unless --force is given");
                continue;
            }
            if (uncovered) uncovered->push_back(std::to_string(index) + " " + path);
            continue;
        }
        std::string problem;
        const std::optional<launcher::SideEntry> side = HashedEntry(releaseRoot + "/" + path, path, options, indexes, problem);
        if (!side) {
            problems.push_back("entry " + std::to_string(index) + ": " + problem);
            continue;
        }
        sums.entries[index] = *side;
    }
    if (problems.empty())
        if (const auto misfit = launcher::SideFileMisfit(sums, sums.listSize, sums.listHash, entries))
            problems.push_back(*misfit);
    if (!problems.empty()) return {};
    std::string text = launcher::FormatSideFile(sums);
    if (key) {
        const auto signature = SignDigest(*key, Sha256Of(text));
        if (!signature) {
            problems.push_back("the signature could not be made");
            return {};
        }
        text += launcher::FormatSignatureLine(*signature);
    }
    return text;
}

std::string SideFilePathFor(const std::string& listPath) { return listPath + launcher::kSideFileSuffix; }

std::string BlockIndexPathFor(const std::string& filePath) { return filePath + launcher::kBlockIndexSuffix; }

}  // namespace vt::vtlist
