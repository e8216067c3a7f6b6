#include "launcher/rules/window_layout.h"

#include <gtest/gtest.h>

using namespace vt::launcher;

namespace {
void ExpectRect(Element e, int dpi, PixelRect want) {
    const PixelRect got = ElementRect(e, dpi);
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
}
}  // namespace

TEST(WindowLayout, FifteenTwipsAPixelAt96Dpi) {
    EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 96), 721);
    EXPECT_EQ(TwipsToPixels(kClientHeightTwips, 96), 529);
    ExpectRect(Element::Browser, 96, {8, 8, 705, 433});
    ExpectRect(Element::txtStatus, 96, {8, 448, 705, 33});
    ExpectRect(Element::SchalterSingleLaunch, 96, {8, 488, 304, 33});
    ExpectRect(Element::cmdLaunch, 96, {320, 488, 304, 33});
    ExpectRect(Element::cmdQuit, 96, {632, 488, 81, 33});
}

TEST(WindowLayout, ScalesWithTheDpi) {
    EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 144), 1082);  // 1081.5 rounds up
    ExpectRect(Element::cmdQuit, 120, {790, 610, 101, 41});
    EXPECT_EQ(FontHeight(1200, 96), -16);
    EXPECT_EQ(FontHeight(975, 96), -13);
    EXPECT_EQ(FontHeight(1200, 144), -24);
}

TEST(WindowLayout, BackgroundIsTheMarginsAndGapsOnly) {
    EXPECT_TRUE(IsOnBackground(2, 2, 96));        // outer margin
    EXPECT_TRUE(IsOnBackground(300, 444, 96));    // gap between browser and status box
    EXPECT_TRUE(IsOnBackground(316, 500, 96));    // gap between the buttons
    EXPECT_TRUE(IsOnBackground(716, 525, 96));    // bottom right corner
    EXPECT_FALSE(IsOnBackground(100, 100, 96));   // browser
    EXPECT_FALSE(IsOnBackground(8, 448, 96));     // status box's corner
    EXPECT_FALSE(IsOnBackground(400, 500, 96));   // multiplayer button
    EXPECT_FALSE(IsOnBackground(721, 10, 96));    // outside the client area
}
