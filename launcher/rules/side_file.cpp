#include "launcher/rules/side_file.h"

#include <unordered_map>

#include "platform/text.h"
#include "launcher/rules/http_rules.h"
#include "launcher/rules/patch_entry.h"

namespace vt::launcher {
namespace {

constexpr std::string_view kHeading = "VTSUMS 1";

bool Fail(std::string* error, std::size_t line, const std::string& why) {
    if (error) *error = "line " + std::to_string(line) + ": " + why;
    return false;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = line.find(' ', start);
        fields.push_back(line.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start));
        if (space == std::string_view::npos) return fields;
        start = space + 1;
    }
}

// One spelling per number: what reads is written back the same.
std::optional<std::uint64_t> Number(std::string_view text) { return CanonicalDecimal(text); }

bool LowerHex(std::string_view text, std::uint8_t* out, std::size_t size) {
    for (const char c : text)
        if (c >= 'A' && c <= 'F') return false;
    return FromHex(text, out, size);
}


}  // namespace


namespace {

// The side file read line by line: each kind of line has its place.
class SideFileReader {
public:
    // One line (without its CR LF) starting at `lineStart`; "" when it reads,
    // else why not.
    std::string Line(std::string_view line, std::size_t lineStart) {
        const std::vector<std::string_view> f = Fields(line);
        if (f[0] == "list" && f.size() == 3) return List(f);
        if (!haveList_) return "no list line before it";
        if (f[0] == "release" && f.size() == 2) return Release(f);
        if (f[0] == "valid" && f.size() == 3) return Valid(f);
        if (f[0] == "rotate" && f.size() == 4) return Rotate(line);
        if (f[0] == "entry" && f.size() == 5) return Entry(f);
        if (f[0] == "blocks" && f.size() == 4) return Blocks(f);
        if (f[0] == "signature" && f.size() == 2) return SignatureLine(f, lineStart);
        return "not a line of a side file";
    }
    bool HaveList() const { return haveList_; }
    SideFile& Sums() { return sums_; }

private:
    std::string List(const std::vector<std::string_view>& f) {
        const auto size = Number(f[1]);
        if (haveList_ || !size || !LowerHex(f[2], sums_.listHash.data(), sums_.listHash.size()))
            return "a list line must come once, second, as \"list SIZE SHA256\"";
        sums_.listSize = *size;
        haveList_ = true;
        return {};
    }
    // The optional lines come in their order (release, valid, rotate), each
    // kind once (rotate: any number), all before the entries.
    std::string Release(const std::vector<std::string_view>& f) {
        const auto release = Number(f[1]);
        if (stage_ >= 1 || !release) return "a release line must come once, before the entries, as \"release N\"";
        sums_.release = *release;
        stage_ = 1;
        return {};
    }
    std::string Valid(const std::vector<std::string_view>& f) {
        const auto from = Number(f[1]), until = Number(f[2]);
        if (stage_ >= 2 || !from || !until || *from > *until)
            return "a valid line must come once, before the entries, as \"valid FROM UNTIL\"";
        sums_.validity = Validity{*from, *until};
        stage_ = 2;
        return {};
    }
    std::string Rotate(std::string_view line) {
        const std::optional<KeyChange> change = ParseKeyChangeLine(line);
        if (stage_ > 3 || !change) return "not \"rotate OLDKEY NEWKEY SIGNATURE\" before the entries";
        sums_.keyChanges.push_back(*change);
        stage_ = 3;
        return {};
    }
    std::string Entry(const std::vector<std::string_view>& f) {
        const auto index = Number(f[1]);
        const auto size = Number(f[2]);
        SideEntry entry;
        if (!index || *index == 0 || *index > 0x7fffffff || static_cast<std::int32_t>(*index) <= lastEntry_ || !size ||
            !LowerHex(f[3], entry.hash.data(), entry.hash.size()) || (f[4] != "repair" && f[4] != "keep"))
            return "not \"entry N SIZE SHA256 repair|keep\" with N rising";
        entry.size = *size;
        entry.repair = f[4] == "repair";
        stage_ = 4;
        lastEntry_ = static_cast<std::int32_t>(*index);
        sums_.entries.emplace(lastEntry_, entry);
        return {};
    }
    // Right after its entry, once.
    std::string Blocks(const std::vector<std::string_view>& f) {
        const auto index = Number(f[1]);
        const auto size = Number(f[2]);
        BlockIndexSum blocks;
        auto entry = sums_.entries.find(lastEntry_);
        if (!index || entry == sums_.entries.end() || *index != static_cast<std::uint64_t>(lastEntry_) ||
            entry->second.blocks || !size || !LowerHex(f[3], blocks.hash.data(), blocks.hash.size()))
            return "not \"blocks N SIZE SHA256\" right after entry N";
        blocks.size = *size;
        entry->second.blocks = blocks;
        return {};
    }
    std::string SignatureLine(const std::vector<std::string_view>& f, std::size_t lineStart) {
        Signature signature{};
        if (!LowerHex(f[1], signature.data(), signature.size())) return "not \"signature\" and 128 hex digits";
        sums_.signature = signature;
        sums_.signedBytes = lineStart;
        return {};
    }

    SideFile sums_;
    bool haveList_ = false;
    std::int32_t lastEntry_ = 0;
    int stage_ = 0;
};

}  // namespace

std::optional<SideFile> ParseSideFile(std::string_view text, std::string* error) {
    if (text.size() > kMaxSideFileBytes) {
        Fail(error, 0, "longer than " + std::to_string(kMaxSideFileBytes) + " bytes");
        return std::nullopt;
    }
    SideFileReader reader;
    std::size_t number = 0;
    for (std::size_t at = 0; at < text.size();) {
        ++number;
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string_view::npos) return Fail(error, number, "does not end in CR LF"), std::nullopt;
        const std::string_view line = text.substr(at, end - at);
        const std::size_t lineStart = at;
        at = end + 2;
        std::string why;
        if (line.find('\r') != std::string_view::npos || line.find('\n') != std::string_view::npos)
            why = "a lone CR or LF";
        else if (reader.Sums().signature)
            why = "text after the signature";
        else if (number == 1)
            why = line == kHeading ? "" : "not \"VTSUMS 1\" (another version, or not a side file)";
        else if (number == 2 && line.substr(0, 5) != "list ")
            why = "a list line must come once, second, as \"list SIZE SHA256\"";
        else
            why = reader.Line(line, lineStart);
        if (!why.empty()) return Fail(error, number, why), std::nullopt;
    }
    if (!reader.HaveList()) return Fail(error, number, "no list line"), std::nullopt;
    return std::move(reader.Sums());
}

std::optional<std::string> SideFileMisfit(const SideFile& sums, std::uint64_t listSize, const Sha256& listHash,
                                          const std::vector<std::string>& entries) {
    if (sums.listSize != listSize || sums.listHash != listHash)
        return std::string("the patch list is not the one the side file was made for (size or SHA-256 differ)");
    if (!sums.entries.empty() && sums.entries.rbegin()->first > static_cast<std::int32_t>(entries.size()))
        return std::string("the side file names entries the list does not have");
    std::unordered_map<std::string, std::int32_t> firstByPath;  // upper case: names Windows treats as one
    for (const auto& [index, entry] : sums.entries) {
        const std::optional<PatchEntry> fields = SplitPatchEntry(entries[static_cast<std::size_t>(index) - 1]);
        if (!fields) continue;  // a malformed entry ends the run with E4 when it is reached
        const std::string path = WindowsNameKey(fields->LocalPath);
        const auto [first, isNew] = firstByPath.emplace(path, index);
        if (isNew) continue;
        const SideEntry& other = sums.entries.at(first->second);
        if (other.hash != entry.hash || other.size != entry.size)
            return "entries " + std::to_string(first->second) + " and " + std::to_string(index) + " both write " +
                   fields->LocalPath + ", with different contents: every run would fetch both";
    }
    return std::nullopt;
}

std::string KeyChangeMessage(const PublicKey& from, const PublicKey& to) {
    return "VTROTATE 1 " + FormatPublicKey(from) + " " + FormatPublicKey(to);
}

std::string FormatKeyChangeLine(const KeyChange& change) {
    return "rotate " + FormatPublicKey(change.from) + " " + FormatPublicKey(change.to) + " " +
           ToHex(change.signature.data(), change.signature.size()) + "\r\n";
}

std::optional<KeyChange> ParseKeyChangeLine(std::string_view line) {
    const std::vector<std::string_view> f = Fields(line);
    KeyChange change;
    if (f.size() != 4 || f[0] != "rotate" || !LowerHex(f[1], change.from.data(), change.from.size()) ||
        !LowerHex(f[2], change.to.data(), change.to.size()) ||
        !LowerHex(f[3], change.signature.data(), change.signature.size()))
        return std::nullopt;
    return change;
}

std::string FormatSideFile(const SideFile& sums) {
    std::string text = std::string(kHeading) + "\r\n";
    text += "list " + std::to_string(sums.listSize) + " " + ToHex(sums.listHash.data(), sums.listHash.size()) + "\r\n";
    if (sums.release) text += "release " + std::to_string(*sums.release) + "\r\n";
    if (sums.validity)
        text += "valid " + std::to_string(sums.validity->from) + " " + std::to_string(sums.validity->until) + "\r\n";
    for (const KeyChange& change : sums.keyChanges) text += FormatKeyChangeLine(change);
    for (const auto& [index, entry] : sums.entries)
        text += "entry " + std::to_string(index) + " " + std::to_string(entry.size) + " " +
                ToHex(entry.hash.data(), entry.hash.size()) + (entry.repair ? " repair" : " keep") + "\r\n" +
                (entry.blocks ? "blocks " + std::to_string(index) + " " + std::to_string(entry.blocks->size) + " " +
                                    ToHex(entry.blocks->hash.data(), entry.blocks->hash.size()) + "\r\n"
                              : std::string());
    return text;
}

std::string FormatSignatureLine(const Signature& signature) {
    return "signature " + ToHex(signature.data(), signature.size()) + "\r\n";
}

std::optional<PublicKey> ParsePublicKey(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    PublicKey key{};
    if (!FromHex(text, key.data(), key.size())) return std::nullopt;
    return key;
}

std::string FormatPublicKey(const PublicKey& key) { return ToHex(key.data(), key.size()); }

}  // namespace vt::launcher
