#include "tools/vtlist/side_make.h"

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

}  // namespace

std::string MakeSideFile(const std::string& list, const std::string& releaseRoot, const SideOptions& options,
                         const KeyPair* key, std::vector<std::string>& problems) {
    launcher::SideFile sums;
    sums.listSize = list.size();
    sums.listHash = Sha256Of(list);
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
        if (AnyMatch(options.unhashedGlobs, path)) continue;
        const auto digest = DigestOfFile(releaseRoot + "/" + path);
        if (!digest) {
            problems.push_back("entry " + std::to_string(index) + ": cannot read " + releaseRoot + "/" + path);
            continue;
        }
        sums.entries[index] = launcher::SideEntry{digest->size, digest->hash, !AnyMatch(options.keepGlobs, path)};
    }
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

}  // namespace vt::vtlist
