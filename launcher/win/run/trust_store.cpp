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
    if (!read) {
        unreadable_ = why;
        return;
    }
    records_ = std::move(*read);
    // The fallback too, always: a run that could not replace the record
    // beside the program kept what it learned there, and this run must know
    // it (a record an installer left unwritable, holding release 5, and the
    // fallback holding 7, would otherwise let a replayed 6 in).
    const std::string local = win::LocalDataFolder();
    if (local.empty()) return;
    fallback_ = local + kTrustFileName;
    if (NothingThere(fallback_)) return;
    std::optional<std::vector<TrustRecord>> kept = ReadRecords(fallback_, why);
    if (!kept) {
        unreadable_ = why;
        return;
    }
    MergeTrustRecordLists(records_, *kept);
    notes_.push_back("the releases remembered in " + fallback_ + " are read with those in " + primary_);
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
    std::string fallbackWhy;
    if (!fallback_.empty() && win::WriteFileReplacing(fallback_, text, &fallbackWhy)) {
        // Read back by every later run with the record beside the program.
        notes_.push_back(primary_ + " cannot be replaced (" + why + "): the releases remembered are kept in " +
                         fallback_ + " instead");
        return true;
    }
    why = primary_ + ": " + why + (fallback_.empty() ? "" : "; " + fallback_ + ": " + fallbackWhy);
    return false;
}

}  // namespace vt::launcher
