#include "launcher/win/run/trust_store.h"

#include <windows.h>

#include "platform/win/files.h"
#include "platform/win/program_log.h"
#include "platform/win/replace_file.h"
#include "platform/win/text_codes.h"

namespace vt::launcher {
namespace {

// Nothing at that name: the one case of first trust. Asked of the name's
// attributes, so a hidden or system file counts as there (the ordinary
// existence test would take it for none).
bool NothingThere(const std::string& path) {
    if (::GetFileAttributesW(win::PathW(path).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The records of `path`; nothing with `why` when it is there and cannot be
// read whole.
std::optional<std::vector<TrustRecord>> ReadRecords(const std::string& path, std::string& why) {
    if (path.empty() || NothingThere(path)) return std::vector<TrustRecord>{};
    std::string text;
    try {
        text = win::ReadWholeFile(path);
    } catch (const std::exception& e) {
        why = path + " cannot be read (" + e.what() +
              "): close the program that holds it open (a backup or antivirus tool), then start the launcher again";
        return std::nullopt;
    }
    std::string damage;
    std::optional<std::vector<TrustRecord>> records = ParseTrustRecords(text, &damage);
    if (!records)
        why = path + " is damaged (" + damage +
              "): it keeps the releases installed from this server, so that an older one is never taken. Delete it "
              "to trust the server's key afresh (the next release offered is then taken, whatever its number), "
              "or put back a copy from a backup";
    return records;
}

bool SameRecord(const TrustRecord& r, const std::string& server, const PublicKey& root) {
    return r.server == server && r.root == root;
}

}  // namespace

TrustStore::TrustStore(std::string appDir) : primary_(std::move(appDir) + kTrustFileName) {
    std::string why;
    std::optional<std::vector<TrustRecord>> read = ReadRecords(primary_, why);
    if (read && read->empty() && NothingThere(primary_)) {
        const std::string local = win::LocalDataFolder();
        if (!local.empty()) read = ReadRecords(local + kTrustFileName, why);
    }
    if (read) records_ = std::move(*read);
    else unreadable_ = why;
}

TrustRecord TrustStore::Find(const std::string& server, const PublicKey& root) const {
    for (const TrustRecord& r : records_)
        if (SameRecord(r, server, root)) return r;
    return FirstTrust(server, root);
}

bool TrustStore::Remember(const TrustRecord& record, std::string& why) {
    if (unreadable_) {
        why = *unreadable_;
        return false;
    }
    bool replaced = false;
    for (TrustRecord& r : records_)
        if (SameRecord(r, record.server, record.root)) {
            const std::optional<std::uint64_t> highest =
                r.release && (!record.release || *record.release < *r.release) ? r.release : record.release;
            const std::vector<PublicKey> retired = r.retired;
            r = record;
            r.release = highest;
            for (const PublicKey& key : retired) Retire(r, key);  // a key retired stays retired, as a release is never lowered
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
