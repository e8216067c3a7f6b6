// Plain words for the WinINet error codes a player's log meets, so that a
// forum helper reads "12029 could not connect to the server" instead of a
// bare number. The words are the program's own (English, like the rest of the
// log), not the system's message table: Wine has none for WinINet, and the
// log should read the same on every machine.
#pragma once

#include <string>

namespace vt::launcher {

// What the code means, or "" for a code without an entry.
const char* InternetErrorMeaning(unsigned long code);

// "cannot connect (WinINet error 12029: could not connect to the server)";
// a code without an entry keeps only its number.
std::string InternetErrorText(const std::string& what, unsigned long code);

}  // namespace vt::launcher
