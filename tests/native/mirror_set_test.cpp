// Which source a fetch of a hashed file goes to.
#include <gtest/gtest.h>

#include "launcher/rules/mirror_set.h"

using namespace vt::launcher;

TEST(MirrorSet, MirrorsTakeTurnsAndWebpathServesOnlyWhenEveryMirrorIsSetAside) {
    std::vector<std::string> refused;
    const auto mirrors = ParseMirrors(" http://a/VT/\thttps://b/VT/  ftp://c/ HTTP://D/VT/ http:// ", &refused);
    ASSERT_EQ(mirrors, (std::vector<std::string>{"http://a/VT/", "https://b/VT/", "HTTP://D/VT/"}));
    EXPECT_EQ(refused, (std::vector<std::string>{"ftp://c/", "http://"}));

    MirrorSet set("http://home/VT/", mirrors);
    ASSERT_TRUE(set.HasMirrors());
    std::vector<int> picked;
    for (int i = 0; i < 6; ++i) picked.push_back(set.Pick({}));
    EXPECT_EQ(picked, (std::vector<int>{1, 2, 3, 1, 2, 3}));

    set.SetAside(2);
    for (int i = 0; i < 4; ++i) EXPECT_NE(set.Pick({}), 2);
    // A fetch that failed at 1 goes on at 3, then at WEBPATH=, then nowhere.
    EXPECT_EQ(set.Pick({1}), 3);
    EXPECT_EQ(set.Pick({1, 3}), MirrorSet::kWebPath);
    EXPECT_EQ(set.Pick({1, 3, MirrorSet::kWebPath}), MirrorSet::kNone);

    set.SetAside(1);
    set.SetAside(3);
    EXPECT_EQ(set.Pick({}), MirrorSet::kWebPath);
    set.SetAside(MirrorSet::kWebPath);
    EXPECT_EQ(set.Pick({}), MirrorSet::kNone);

    EXPECT_FALSE(MirrorSet("http://home/", {}).HasMirrors());
}
