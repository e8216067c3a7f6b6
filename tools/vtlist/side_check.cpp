#include "tools/vtlist/side_check.h"

#include "config/text_lines.h"
#include "launcher/rules/update_rules.h"
#include "tools/vtlist/signing.h"

namespace vt::vtlist {

SideReport CheckSideFile(const std::string& list, const std::string& sideText,
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
    const std::vector<std::string> entries = launcher::PatchListEntries(SplitTextLines(list));
    if (const auto misfit = launcher::SideFileMisfit(sums, list.size(), Sha256Of(list), entries))
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
