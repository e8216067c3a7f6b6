#include "tools/vtlist/side_check.h"

#include "config/text_lines.h"
#include "launcher/rules/update_rules.h"
#include "tools/vtlist/signing.h"

namespace vt::vtlist {

SideReport CheckSideFile(const std::string& list, const std::string& sideText, int entryCount,
                         const std::optional<launcher::PublicKey>& publicKey) {
    SideReport report;
    auto error = [&](const std::string& text) { report.problems.push_back({0, Severity::Error, text}); };
    std::string why;
    report.sums = launcher::ParseSideFile(sideText, &why);
    if (!report.sums) {
        error("the side file cannot be read (" + why + "): every player gets E1");
        return report;
    }
    const launcher::SideFile& sums = *report.sums;
    if (sums.listSize != list.size() || sums.listHash != Sha256Of(list))
        error("the side file was made for another list (size or SHA-256 differ): every player gets E1");
    if (!sums.entries.empty() && sums.entries.rbegin()->first > entryCount)
        error("the side file names entry " + std::to_string(sums.entries.rbegin()->first) + ", the list has " +
              std::to_string(entryCount) + ": every player gets E1");
    else if (const auto misfit = launcher::SideFileMisfit(sums, launcher::PatchListEntries(SplitTextLines(list))))
        error(*misfit + ": every player gets E1");
    if (publicKey) {
        if (!sums.signature)
            error("the side file is not signed: players with PUBLICKEY= get E1");
        else if (!VerifyDigest(*publicKey, Sha256Of(std::string_view(sideText).substr(0, sums.signedBytes)),
                               *sums.signature))
            error("the signature is not by that key, or the side file changed after signing: players with "
                  "PUBLICKEY= get E1");
    } else if (sums.signature) {
        report.problems.push_back({0, Severity::Warning, "signed; give --public-key to check the signature"});
    }
    return report;
}

}  // namespace vt::vtlist
