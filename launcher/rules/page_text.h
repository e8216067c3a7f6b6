// The start page as plain text, for a player whose system has no HTML engine
// for the WebBrowser control (Wine without its Gecko package: the page area
// would stay blank, and the local page's explanation would never be read).
//
// What is kept: the text of headings, paragraphs, list items, table cells and
// links, each block on lines of its own; a heading or paragraph is followed
// by a blank line, a list item begins with "- ", and a link shows its address
// in brackets after its text ("Forum (http://...)") unless the text is the
// address. What goes: the head, scripts, styles, comments and every tag.
// Character references (&amp;, &#233;, &#x263A;) become their characters.
// Runs of blanks become one; no more than one blank line stands in a row.
//
// The page's bytes are taken as UTF-8 (the caller turns other pages into
// UTF-8 first); the result is UTF-8 with CR LF line ends, as an edit control
// wants them.
#pragma once

#include "platform/text.h"  // IsValidUtf8

#include <string>
#include <string_view>

namespace vt::launcher {

std::string PageText(std::string_view html);

}  // namespace vt::launcher
