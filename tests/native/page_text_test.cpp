// The start page as text, for players whose system has no HTML engine.
#include "launcher/rules/page_text.h"

#include <gtest/gtest.h>

using vt::IsValidUtf8;
using vt::launcher::PageText;

TEST(PageText, TheSamplePagesReadAsTheirWords) {
    EXPECT_EQ(PageText("<!-- Vortane Mod Launcher -->\r\n<html><head><title>Vortane</title></head>\r\n"
                       "<body style=\"background:#404040\">\r\n<h1>Vortane</h1><p>Sample release: the maps\r\n"
                       "of the arena.</p>\r\n</body></html>\r\n"),
              "Vortane\r\n\r\nSample release: the maps of the arena.\r\n");
}

TEST(PageText, ListsLinksAndLineBreaks) {
    EXPECT_EQ(PageText("<ul><li>Arena</li><li>Desert <b>new</b></ul>"), "- Arena\r\n- Desert new\r\n");
    EXPECT_EQ(PageText("<p>See the <a href=\"http://forum.example/\">Forum</a>.</p>"),
              "See the Forum (http://forum.example/).\r\n");
    EXPECT_EQ(PageText("<a href='http://x.example/'>http://x.example/</a>"), "http://x.example/\r\n");  // said once
    EXPECT_EQ(PageText("<a href=\"#top\">Top</a> <a href=\"javascript:go()\">Go</a>"), "Top Go\r\n");
    EXPECT_EQ(PageText("one<br>two<BR/>three"), "one\r\ntwo\r\nthree\r\n");
}

TEST(PageText, WhatIsNotTextGoes) {
    EXPECT_EQ(PageText("<script>if (a < b) alert('x');</script><style>p{}</style>Shown<!-- not -->."), "Shown.\r\n");
    EXPECT_EQ(PageText("<head><title>T</title>Body kept"), "Body kept\r\n");  // a head never closed
    EXPECT_EQ(PageText("<p>a</p>\r\n\r\n<p></p><p></p><p>b</p>"), "a\r\n\r\nb\r\n");  // one blank line at most
    EXPECT_EQ(PageText("   spaced \t\r\n  out  "), "spaced out\r\n");
    EXPECT_EQ(PageText("cut <b"), "cut\r\n");  // an unfinished tag ends the page
    EXPECT_EQ(PageText(""), "");
}

TEST(PageText, CharacterReferencesBecomeCharacters) {
    EXPECT_EQ(PageText("Tom &amp; Jerry &lt;3 &quot;x&quot;&nbsp;y"), "Tom & Jerry <3 \"x\" y\r\n");
    EXPECT_EQ(PageText("caf&#233; &#x263A; &#X1F3AE;"), "caf\xC3\xA9 \xE2\x98\xBA \xF0\x9F\x8E\xAE\r\n");
    EXPECT_EQ(PageText("&#0; &#xD800; &#9999999;"), "\xEF\xBF\xBD \xEF\xBF\xBD \xEF\xBF\xBD\r\n");  // never a bad character
    EXPECT_EQ(PageText("AT&T &unknown; &"), "AT&T &unknown; &\r\n");
}

TEST(PageText, Utf8IsToldFromOtherBytes) {
    EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9\xE2\x98\xBA\xF0\x9F\x8E\xAE"));
    EXPECT_FALSE(IsValidUtf8("\xE4"));              // Windows-1252 "ä"
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE2\x98"));          // cut short
}
