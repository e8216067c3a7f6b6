// libFuzzer target: arbitrary bytes as the header values a server sends
// (Content-Range, Retry-After), as the resume record a stopped run left, and
// as the side file beside a patch list, as a start page shown as text, and
// as the launcher's record of accepted releases, as a block index and as a
// server's answer to a range request.
// The checks are the promises the transfer builds on.
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <string>
#include <vector>

#include "launcher/rules/answer_judge.h"
#include "launcher/rules/block_index.h"
#include "launcher/rules/byte_ranges.h"
#include "launcher/rules/http_rules.h"
#include "launcher/rules/page_text.h"
#include "launcher/rules/release_trust.h"
#include "launcher/rules/side_file.h"
#include "launcher/rules/url_path.h"

using namespace vt::launcher;
using vt::IsValidUtf8;

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    if (const auto range = ParseContentRange(text)) {
        Require(range->first <= range->last);
        Require(!range->total || range->last < *range->total);
        // The rest of a whole continues only from its own first byte.
        if (range->first > 0) Require(!RangeContinues(*range, range->first - 1, range->last - range->first + 1, std::nullopt));
    }

    (void)ParseRetryAfterSeconds(text, 1700000000);
    if (const auto date = ParseHttpDate(text)) Require(*date >= -62135596800 && *date < 253402300800);

    // A record that reads is written back byte for byte, and its validator is
    // fit for a header line.
    if (const auto record = ParseResumeRecord(text)) {
        Require(FormatResumeRecord(*record) == text);
        Require(UsableValidator(record->validator));
        Require(record->url.find('\n') == std::string::npos && record->url.find('\r') == std::string::npos);
    }

    // A redirect never leads to another scheme, nor carries a blank or a
    // control character into a request line.
    if (const auto next = ResolveRedirect("http://127.0.0.1:1/VTupdates/x", text)) {
        std::string scheme = next->substr(0, next->find("://"));
        for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        Require(scheme == "http" || scheme == "https");
        for (const char c : *next) Require(static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7f);
    }

    // A side file that reads is written back byte for byte: nothing in it is
    // ignored, so nothing unchecked can ride along under a signature.
    if (const auto sums = ParseSideFile(text)) {
        const std::string again = FormatSideFile(*sums) + (sums->signature ? FormatSignatureLine(*sums->signature) : "");
        Require(again == text);
        Require(!sums->signature || sums->signedBytes < text.size());
    }
    // The start page as text: UTF-8 in, UTF-8 out; never two blank lines in a row.
    const std::string page = PageText(text);
    if (IsValidUtf8(text)) Require(IsValidUtf8(page));
    Require(page.find("\r\n\r\n\r\n") == std::string::npos);

    // What the launcher remembers of releases: whatever reads is written back
    // so that it reads the same again.
    if (const auto records = ParseTrustRecords(text)) {
        const std::string written = FormatTrustRecords(*records);
        const auto again = ParseTrustRecords(written);
        Require(again && FormatTrustRecords(*again) == written);
    }

    // A list path in a URL: only the characters a URL path carries, no "\".
    for (const char c : EncodeUrlPath(text))
        Require(c > 0x20 && c < 0x7F && c != '\\' && c != '"' && c != '#' && c != '<' && c != '>' && c != ' ');

    // An answer made of the input's lines: whatever it says, a body is taken
    // only as a 200 or as the rest of what is held, within the cap.
    {
        std::vector<std::string> lines;
        for (std::size_t at = 0; at <= text.size() && lines.size() < 7;) {
            const std::size_t end = std::min(text.find('\n', at), text.size());
            lines.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        lines.resize(7);
        Answer answer;
        answer.status = lines[0].empty() ? 0 : static_cast<unsigned char>(lines[0][0]) % 2 ? 200 : 206;
        answer.contentLength = lines[1];
        answer.contentRange = lines[2];
        answer.acceptRanges = lines[3];
        answer.etag = lines[4];
        answer.lastModified = lines[5];
        answer.retryAfter = lines[6];
        const ResumePoint held{size % 3 == 0 ? 0u : 1000u, lines[4], size % 2 ? 5000u : 0u};
        JudgeLimits limits;
        limits.maxBytes = 4000;
        const Judgement judgement = Judge(answer, held, limits);
        if (judgement.step == Judgement::Step::Take) {
            Require(answer.status == 200 || (answer.status == 206 && held.bytes > 0));
            Require(judgement.continues == (answer.status == 206));
            Require(!judgement.length || *judgement.length + (judgement.continues ? held.bytes : 0) <= limits.maxBytes);
            Require(judgement.resumable.validator.empty() || UsableValidator(judgement.resumable.validator) ||
                    ParseHttpDate(judgement.resumable.validator));
        } else {
            Require(!judgement.error.empty());
        }
        Require(judgement.retryAfterMs <= limits.maxRetryAfterMs);
    }

    // A block index that reads has one record per block of the size it
    // names, and is written back byte for byte.
    if (const auto index = ParseBlockIndex(text, size > 20 ? 5000 : 0)) {
        Require(index->weak.size() == index->strong.size());
        Require(index->Blocks() == (index->fileSize + index->blockSize - 1) / index->blockSize);
        Require(FormatBlockIndex(*index) == text);
    }

    // The pieces of a range answer lie inside the file and hold as many bytes
    // as they say; a multipart body is split only at its boundary.
    {
        const std::size_t split = text.find('\n');
        const std::string head = text.substr(0, split == std::string::npos ? 0 : split);
        const std::string body = split == std::string::npos ? text : text.substr(split + 1);
        constexpr std::uint64_t kFile = 3000;
        for (const auto& contentType : {std::string("multipart/byteranges; boundary=") + head, head}) {
            const auto pieces = RangeAnswerPieces(contentType, head, body, kFile);
            if (!pieces) continue;
            for (const RangePiece& piece : *pieces) {
                Require(piece.start + piece.bytes.size() <= kFile);
                Require(piece.bytes.data() >= body.data() && piece.bytes.data() + piece.bytes.size() <= body.data() + body.size());
            }
        }
    }

    return 0;
}
