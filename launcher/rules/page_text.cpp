#include "launcher/rules/page_text.h"

#include <cstdint>

#include "platform/text.h"

namespace vt::launcher {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

// Finds `what` (lower case) in `text` from `from`, ignoring letter case.
std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from) {
    for (std::size_t at = from; at + what.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < what.size() && AsciiLower(text[at + i]) == what[i]) ++i;
        if (i == what.size()) return at;
    }
    return std::string_view::npos;
}

// A character reference at `text[at]` ("&"): appends what it stands for and
// returns its length; 0 when it is none (the "&" is then a plain character).
std::size_t Reference(std::string_view text, std::size_t at, std::string& out) {
    const std::size_t end = text.find(';', at);
    if (end == std::string_view::npos || end - at > 10) return 0;
    const std::string_view name = text.substr(at + 1, end - at - 1);
    static constexpr struct {
        std::string_view name;
        std::uint32_t code;
    } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", ' '},
                  {"copy", 0xA9}, {"reg", 0xAE}, {"hellip", 0x2026}, {"ndash", 0x2013}, {"mdash", 0x2014}};
    for (const auto& named : kNamed)
        if (name == named.name) {
            AppendUtf8(out, named.code);
            return end - at + 1;
        }
    if (name.size() < 2 || name[0] != '#') return 0;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) return 0;
    std::uint32_t code = 0;
    for (const char c : digits) {
        int value = -1;
        if (c >= '0' && c <= '9') value = c - '0';
        else if (hex && AsciiLower(c) >= 'a' && AsciiLower(c) <= 'f') value = AsciiLower(c) - 'a' + 10;
        if (value < 0) return 0;
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(value);
        if (code > 0x10FFFF) code = 0x110000;  // stays out of range, never wraps
    }
    AppendUtf8(out, code);
    return end - at + 1;
}

// The value of attribute `name` in a tag's text (between "<a" and ">").
std::string Attribute(std::string_view tag, std::string_view name) {
    for (std::size_t at = FindNoCase(tag, name, 0); at != std::string_view::npos; at = FindNoCase(tag, name, at + 1)) {
        if (at == 0 || !IsBlank(tag[at - 1])) continue;
        std::size_t i = at + name.size();
        while (i < tag.size() && IsBlank(tag[i])) ++i;
        if (i >= tag.size() || tag[i] != '=') continue;
        ++i;
        while (i < tag.size() && IsBlank(tag[i])) ++i;
        if (i >= tag.size()) return {};
        const char quote = tag[i] == '"' || tag[i] == '\'' ? tag[i] : '\0';
        const std::size_t begin = quote ? i + 1 : i;
        std::size_t end = begin;
        while (end < tag.size() && (quote ? tag[end] != quote : !IsBlank(tag[end]))) ++end;
        return std::string(tag.substr(begin, end - begin));
    }
    return {};
}

// Builds the text: words with single blanks, lines, at most one blank line.
class TextBuilder {
public:
    void Word(std::string_view text) {
        for (const char c : text) {
            if (IsBlank(c)) {
                blank_ = !line_.empty();
                continue;
            }
            if (blank_) line_ += ' ';
            blank_ = false;
            line_ += c;
        }
    }
    void Text(const std::string& decoded) { Word(decoded); }
    void EndLine() {
        if (!line_.empty()) {
            if (pendingBlankLine_ && !out_.empty()) out_ += "\r\n";
            out_ += line_ + "\r\n";
            pendingBlankLine_ = false;
        }
        line_.clear();
        blank_ = false;
    }
    void BlankLine() {
        EndLine();
        pendingBlankLine_ = true;
    }
    std::string& Line() { return line_; }
    std::string Result() {
        EndLine();
        return out_;
    }

private:
    std::string out_, line_;
    bool blank_ = false;
    bool pendingBlankLine_ = false;
};

enum class TagRole { Ignored, Line, Block, Item, Link, LinkEnd, Skip };

TagRole RoleOf(std::string_view name, bool closing) {
    static constexpr std::string_view kBlocks[] = {"p", "h1", "h2", "h3", "h4", "h5", "h6", "ul", "ol", "table",
                                                   "blockquote", "pre", "dl", "center"};
    static constexpr std::string_view kLines[] = {"br", "div", "tr", "hr", "dt", "dd", "section", "article",
                                                  "header", "footer", "nav", "main", "form", "body", "td", "th"};
    if (name == "a") return closing ? TagRole::LinkEnd : TagRole::Link;
    if (name == "li") return TagRole::Item;
    if (!closing && (name == "script" || name == "style" || name == "head" || name == "title" || name == "noscript"))
        return TagRole::Skip;
    for (const auto block : kBlocks)
        if (name == block) return TagRole::Block;
    for (const auto line : kLines)
        if (name == line) return TagRole::Line;
    return TagRole::Ignored;
}

// The text so far and the link open in it.
struct PageState {
    TextBuilder text;
    std::string link;           // the open link's address
    std::size_t linkStart = 0;  // where its text begins in the line
};

// A link ends: its address follows its text, unless the text is the address.
void EndLink(PageState& page) {
    const std::string& line = page.text.Line();
    std::string shown = page.linkStart <= line.size() ? line.substr(page.linkStart) : std::string();
    while (!shown.empty() && shown.front() == ' ') shown.erase(0, 1);
    if (!page.link.empty() && shown != page.link) page.text.Word(" (" + page.link + ")");
    page.link.clear();
}

// The tag that ends at `close` (its "<" at `at`): what it does to the text.
// Returns where reading goes on.
std::size_t OnTag(std::string_view html, std::size_t at, std::size_t close, PageState& page) {
    const std::string_view tag = html.substr(at + 1, close - at - 1);
    at = close + 1;
    const bool closing = !tag.empty() && tag[0] == '/';
    std::size_t nameEnd = closing ? 1 : 0;
    while (nameEnd < tag.size() && !IsBlank(tag[nameEnd]) && tag[nameEnd] != '/') ++nameEnd;
    std::string name;
    for (const char n : tag.substr(closing ? 1 : 0, nameEnd - (closing ? 1 : 0))) name += AsciiLower(n);
    switch (RoleOf(name, closing)) {
        case TagRole::Skip: {
            // Skipped to its end tag; without one, only the tag itself goes
            // (a page that never closes its head keeps its body).
            const std::size_t end = FindNoCase(html, "</" + name, at);
            const std::size_t after = end == std::string_view::npos ? std::string_view::npos : html.find('>', end);
            return after != std::string_view::npos ? after + 1 : at;
        }
        case TagRole::Block: page.text.BlankLine(); break;
        case TagRole::Line: page.text.EndLine(); break;
        case TagRole::Item:
            page.text.EndLine();
            if (!closing) page.text.Word("- ");
            break;
        case TagRole::Link:
            page.link = Attribute(tag.substr(nameEnd), "href");
            if (StartsWith(page.link, "javascript:") || (!page.link.empty() && page.link[0] == '#')) page.link.clear();
            page.text.Word(" ");
            page.linkStart = page.text.Line().size();
            break;
        case TagRole::LinkEnd: EndLink(page); break;
        case TagRole::Ignored: break;
    }
    return at;
}

}  // namespace

std::string PageText(std::string_view html) {
    PageState page;
    std::string decoded;
    for (std::size_t at = 0; at < html.size();) {
        const char c = html[at];
        if (c == '&') {
            decoded.clear();
            const std::size_t length = Reference(html, at, decoded);
            if (length) page.text.Text(decoded);
            else page.text.Word("&");
            at += length ? length : 1;
            continue;
        }
        if (c != '<') {
            const std::size_t next = html.find_first_of("<&", at);
            page.text.Word(html.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at));
            at = next == std::string_view::npos ? html.size() : next;
            continue;
        }
        if (html.substr(at, 4) == "<!--") {
            const std::size_t end = html.find("-->", at + 4);
            at = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        const std::size_t close = html.find('>', at);
        if (close == std::string_view::npos) break;  // an unfinished tag ends the page
        at = OnTag(html, at, close, page);
    }
    return page.text.Result();
}


}  // namespace vt::launcher
