#include "config/resolve_path.h"

#include <gtest/gtest.h>

namespace {
std::string Resolve(const std::string& appDir, std::string value) {
    vt::ResolveRelativePath(appDir, value);
    return value;
}
}  // namespace

TEST(ResolveRelativePath, WorkedTable) {
    const std::string app = "C:\\Games\\SR\\EXE\\";
    EXPECT_EQ(Resolve(app, "..\\EXE\\"), "C:\\Games\\SR\\EXE\\");
    EXPECT_EQ(Resolve(app, "..\\EXE2\\"), "C:\\Games\\SR\\EXE2\\");
    EXPECT_EQ(Resolve(app, "..\\DATA\\AUDIO\\ambienteA.utf"), "C:\\Games\\SR\\DATA\\AUDIO\\ambienteA.utf");
    EXPECT_EQ(Resolve(app, "..\\..\\Mods\\"), "C:\\Games\\Mods\\");
    EXPECT_EQ(Resolve(app, "Sub\\"), "C:\\Games\\SR\\EXE\\Sub\\");
    EXPECT_EQ(Resolve(app, "..\\..\\..\\..\\..\\X"), "C:\\X");
}

TEST(ResolveRelativePath, NoAbsoluteFormAndInnerDotsStay) {
    const std::string app = "C:\\Games\\SR\\EXE\\";
    EXPECT_EQ(Resolve(app, "D:\\Other\\"), "C:\\Games\\SR\\EXE\\D:\\Other\\");
    EXPECT_EQ(Resolve(app, "A\\..\\B"), "C:\\Games\\SR\\EXE\\A\\..\\B");
    EXPECT_EQ(Resolve(app, "..\\EXE2"), "C:\\Games\\SR\\EXE2");
    EXPECT_EQ(Resolve(app, "a/b"), "C:\\Games\\SR\\EXE\\a/b");
}

TEST(ResolveRelativePath, DriveRootNeverClimbsAboveTheDrive) {
    EXPECT_EQ(Resolve("C:\\", "..\\EXE\\"), "C:\\EXE\\");
    EXPECT_EQ(Resolve("C:\\", ".."), "C:");
    EXPECT_EQ(Resolve("C:\\Games\\", "..\\..\\.."), "C:");
}

TEST(ResolveRelativePath, ShareRootIsTheFloorOfAnInstallOnANetworkShare) {
    const std::string app = "\\\\server\\share\\VT\\";
    EXPECT_EQ(Resolve(app, "..\\EXE\\"), "\\\\server\\share\\EXE\\");
    EXPECT_EQ(Resolve(app, "..\\..\\..\\..\\EXE\\"), "\\\\server\\share\\EXE\\");
    EXPECT_EQ(Resolve(app, "Sub\\"), "\\\\server\\share\\VT\\Sub\\");
    EXPECT_EQ(Resolve("\\\\server\\share\\", "..\\X"), "\\\\server\\share\\X");
}
