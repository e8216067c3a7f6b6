#include "launcher/rules/internet_errors.h"

namespace vt::launcher {
namespace {

struct Meaning {
    unsigned long code;
    const char* words;
};

// The codes as wininet.h numbers them (12000 and up); the ones a fetch of a
// static file over http or https can end with.
constexpr Meaning kMeanings[] = {
    {12001, "no more Internet handles could be made"},
    {12002, "the server did not answer in time"},
    {12004, "an internal error of the Internet functions"},
    {12005, "the URL is not valid"},
    {12006, "the URL's scheme is neither http nor https"},
    {12007, "the server's name could not be found (no such name, or no DNS)"},
    {12017, "the request was cancelled"},
    {12019, "the connection was in the wrong state (closed by the server)"},
    {12029, "could not connect to the server"},
    {12030, "the connection was closed before the answer ended"},
    {12031, "the server reset the connection"},
    {12037, "the server's certificate has expired or is not valid yet"},
    {12038, "the server's certificate is made out to another name"},
    {12044, "the server asks for a client certificate"},
    {12045, "the server's certificate is not from a trusted authority"},
    {12055, "the server's certificate has errors"},
    {12056, "the server's certificate cannot be checked for revocation"},
    {12057, "the revocation of the server's certificate could not be checked"},
    {12152, "the server's answer could not be read as HTTP"},
    {12156, "a redirect could not be followed"},
    {12157, "the secure connection (TLS) failed"},
    {12163, "the computer is not connected to a network"},
    {12164, "the server cannot be reached"},
    {12165, "the proxy server cannot be reached"},
    {12169, "the server's certificate is not valid"},
    {12170, "the server's certificate has been revoked"},
    {12175, "the answer could not be decoded"},
};

}  // namespace

const char* InternetErrorMeaning(unsigned long code) {
    for (const Meaning& m : kMeanings)
        if (m.code == code) return m.words;
    return "";
}

std::string InternetErrorText(const std::string& what, unsigned long code) {
    const std::string meaning = InternetErrorMeaning(code);
    return what + " (WinINet error " + std::to_string(code) + (meaning.empty() ? "" : ": " + meaning) + ")";
}

}  // namespace vt::launcher
