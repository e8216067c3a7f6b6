#include "launcher/win/trust_store.h"

#include "platform/win/files.h"
#include "platform/win/program_log.h"
#include "platform/win/replace_file.h"

namespace vt::launcher {
namespace {

std::vector<TrustRecord> ReadRecords(const std::string& path) {
    if (path.empty() || !win::OrdinaryFileExists(path)) return {};
    try {
        return ParseTrustRecords(win::ReadWholeFile(path));
    } catch (...) {
        return {};  // held open by another program: as if new (the next run reads it again)
    }
}

bool SameRecord(const TrustRecord& r, const std::string& server, const PublicKey& root) {
    return r.server == server && r.root == root;
}

}  // namespace

TrustStore::TrustStore(std::string appDir) : primary_(std::move(appDir) + kTrustFileName) {
    records_ = ReadRecords(primary_);
    if (records_.empty() && !win::OrdinaryFileExists(primary_)) {
        const std::string local = win::LocalDataFolder();
        if (!local.empty()) records_ = ReadRecords(local + kTrustFileName);
    }
}

TrustRecord TrustStore::Find(const std::string& server, const PublicKey& root) const {
    for (const TrustRecord& r : records_)
        if (SameRecord(r, server, root)) return r;
    return FirstTrust(server, root);
}

bool TrustStore::Remember(const TrustRecord& record, std::string& why) {
    bool replaced = false;
    for (TrustRecord& r : records_)
        if (SameRecord(r, record.server, record.root)) {
            r = record;
            replaced = true;
        }
    if (!replaced) records_.push_back(record);
    const std::string text = FormatTrustRecords(records_);
    if (win::WriteFileReplacing(primary_, text, &why)) return true;
    const std::string local = win::LocalDataFolder();
    std::string fallbackWhy;
    if (!local.empty() && win::WriteFileReplacing(local + kTrustFileName, text, &fallbackWhy)) return true;
    why = primary_ + ": " + why + (local.empty() ? "" : "; " + local + kTrustFileName + ": " + fallbackWhy);
    return false;
}

}  // namespace vt::launcher
