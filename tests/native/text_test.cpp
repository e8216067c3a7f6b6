#include "platform/text.h"

#include <gtest/gtest.h>

TEST(Text, LetterCaseIsAsciiOnly) {
    EXPECT_EQ(vt::ToAsciiUpper("immer Zz09"), "IMMER ZZ09");
    EXPECT_EQ(vt::ToAsciiLower("IMMER Zz09"), "immer zz09");
    EXPECT_EQ(vt::ToAsciiUpper("\xE4\xC4"), "\xE4\xC4");  // bytes beyond ASCII stay as they are
    EXPECT_TRUE(vt::EqualsIgnoringAsciiCase("HTTPS", "https"));
    EXPECT_FALSE(vt::EqualsIgnoringAsciiCase("https", "http"));
    EXPECT_FALSE(vt::EqualsIgnoringAsciiCase("\xE4", "\xC4"));
    EXPECT_FALSE(vt::EqualsIgnoringAsciiCase("[", "{"));  // 0x5B and 0x7B differ by 0x20 but are no letters
}

TEST(Text, TrimTakesOnlyTheGivenBlanksFromTheEnds) {
    EXPECT_EQ(vt::Trim(" \t a b \t "), "a b");
    EXPECT_EQ(vt::Trim(" \ta ", " "), "\ta");  // list fields trim spaces alone
    EXPECT_EQ(vt::Trim("   "), "");
    EXPECT_EQ(vt::Trim(""), "");
    EXPECT_EQ(vt::Trim("x"), "x");
}

namespace vt {
namespace {

// Two names that Windows takes for one file must meet as one, in the
// scripts players name their files in; what is not a letter stays.
TEST(FileNameUpper, FoldsTheLettersWindowsFoldsInLatinGreekAndCyrillic) {
    EXPECT_EQ(FileNameUpper("maps/forêt du nord.ini"), "MAPS/FORÊT DU NORD.INI");
    EXPECT_EQ(FileNameUpper("Übersicht.txt"), FileNameUpper("übersicht.TXT"));
    EXPECT_EQ(FileNameUpper("gra łść żółw"), "GRA ŁŚĆ ŻÓŁW");
    EXPECT_EQ(FileNameUpper("Игра/ёлка"), "ИГРА/ЁЛКА");
    EXPECT_EQ(FileNameUpper("ωμέγα ς άόύώϊ"), "ΩΜΈΓΑ Σ ΆΌΎΏΪ");
    EXPECT_EQ(FileNameUpper("ÿ"), "Ÿ");
    EXPECT_EQ(FileNameUpper("ĺ ŋ ź"), "Ĺ Ŋ Ź");
    EXPECT_EQ(FileNameUpper("Ĺ Ŋ Ź İ ı ß ÷ ×"), "Ĺ Ŋ Ź İ ı ß ÷ ×");  // upper already, or no simple pair
    EXPECT_EQ(FileNameUpper("游戏 🎮.pak"), "游戏 🎮.PAK");
    // Not UTF-8 (a Windows-1252 name, a cut sequence): the bytes stay.
    EXPECT_EQ(FileNameUpper("\xDC" "bersicht"), "\xDC" "BERSICHT");
    EXPECT_EQ(FileNameUpper("a\xC3"), "A\xC3");
}

// What a launcher in the default ANSI code page reads a byte as.
TEST(Text, Windows1252ReadsAsUtf8AsWindowsReadsIt) {
    EXPECT_EQ(Utf8FromWindows1252("for\xEAt.ini"), "for\xC3\xAAt.ini");
    EXPECT_EQ(Utf8FromWindows1252("\x80 \x9F \xFF"), "\xE2\x82\xAC \xC5\xB8 \xC3\xBF");
    EXPECT_EQ(Utf8FromWindows1252("\x81\x8D"), "\xC2\x81\xC2\x8D");  // undefined in 1252: the C1 control
    EXPECT_EQ(Utf8FromWindows1252("plain"), "plain");
    for (int b = 0; b < 256; ++b) EXPECT_TRUE(IsValidUtf8(Utf8FromWindows1252(std::string(1, static_cast<char>(b))))) << b;
}

}  // namespace
}  // namespace vt

TEST(Text, PrefixesAndFoldersOfPaths) {
    using vt::FolderOf, vt::StartsWith, vt::WithTrailingBackslash;
    EXPECT_TRUE(StartsWith("\\\\server\\share", "\\\\"));
    EXPECT_FALSE(StartsWith("\\server", "\\\\"));
    EXPECT_FALSE(StartsWith("", "a"));
    EXPECT_TRUE(StartsWith("abc", ""));
    EXPECT_TRUE(StartsWith(std::wstring_view(L"\\\\?\\C:\\x"), std::wstring_view(L"\\\\?\\")));
    EXPECT_EQ(FolderOf("C:\\a\\b.txt"), "C:\\a\\");
    EXPECT_EQ(FolderOf("C:\\a\\"), "C:\\a\\");
    EXPECT_EQ(FolderOf("b.txt"), "");
    EXPECT_EQ(FolderOf("maps/b.txt"), "") << "only the backslash separates";
    EXPECT_EQ(WithTrailingBackslash("C:\\a"), "C:\\a\\");
    EXPECT_EQ(WithTrailingBackslash("C:\\a\\"), "C:\\a\\");
    EXPECT_EQ(WithTrailingBackslash(""), "\\");
}
