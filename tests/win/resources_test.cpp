// The built programs carry their manifest, version resource and icon.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/version.h"
#include "support/test_support.h"

namespace {

struct Program {
    const char* file;
    const char* description;
};
const Program kPrograms[] = {
    {"launcher\\VT_Update.exe", VT_UPDATE_DESCRIPTION},
    {"starter\\vtwd.exe", VT_STARTER_DESCRIPTION},
};

std::string Manifest(const std::string& exe) {
    HMODULE module = ::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return {};
    std::string text;
    if (HRSRC res = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
        const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, res)));
        text.assign(data, ::SizeofResource(module, res));
    }
    ::FreeLibrary(module);
    return text;
}

std::string VersionString(const std::string& exe, const char* name) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> block(size);
    if (!::GetFileVersionInfoA(exe.c_str(), 0, size, block.data())) return {};
    char* value = nullptr;
    UINT length = 0;
    const std::string key = std::string("\\StringFileInfo\\040904b0\\") + name;
    if (!::VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) || length == 0) return {};
    return std::string(value);
}

}  // namespace

TEST(Resources, ManifestRunsAsInvokerWithCommonControls6AndDpiAwareness) {
    for (const Program& p : kPrograms) {
        const std::string manifest = Manifest(vt::test::BuildDir() + p.file);
        ASSERT_FALSE(manifest.empty()) << p.file;
        EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << p.file;
        EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos) << p.file;
        EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos) << p.file;
        EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos) << p.file;
    }
}

TEST(Resources, VersionResourceNamesTheDeliverable) {
    const std::string update = vt::test::BuildDir() + kPrograms[0].file;
    EXPECT_EQ(VersionString(update, "FileDescription"), "Downloads Patches to Vortane Mod before starting Multiplayer Game");
    EXPECT_EQ(VersionString(update, "OriginalFilename"), "VT_Update.exe");
    EXPECT_EQ(VersionString(update, "FileVersion"), VT_VERSION_TEXT);
    const std::string starter = vt::test::BuildDir() + kPrograms[1].file;
    EXPECT_EQ(VersionString(starter, "FileDescription"), VT_STARTER_DESCRIPTION);
    EXPECT_EQ(VersionString(starter, "OriginalFilename"), "vtwd.exe");
}

// Read from the icon group's directory with kernel32 alone: loading the icon
// through user32 made this test connect to the prefix's desktop, and right
// after a new prefix's first start the process was seen to hang at its exit.
TEST(Resources, EachProgramHasA32PixelIcon) {
#pragma pack(push, 2)
    struct GroupIconEntry {
        BYTE width, height, colors, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    for (const Program& p : kPrograms) {
        const std::string exe = vt::test::BuildDir() + p.file;
        HMODULE module = ::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << p.file;
        HRSRC group = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
        ASSERT_NE(group, nullptr) << p.file;
        const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module, group)));
        const DWORD size = ::SizeofResource(module, group);
        ASSERT_TRUE(data && size >= 6) << p.file;
        const WORD count = *reinterpret_cast<const WORD*>(data + 4);
        ASSERT_GE(size, 6u + count * sizeof(GroupIconEntry)) << p.file;
        bool has32 = false;
        for (WORD i = 0; i < count; ++i) {
            const auto* entry = reinterpret_cast<const GroupIconEntry*>(data + 6 + i * sizeof(GroupIconEntry));
            has32 = has32 || (entry->width == 32 && entry->height == 32 &&
                              ::FindResourceA(module, MAKEINTRESOURCEA(entry->id), MAKEINTRESOURCEA(3)) != nullptr);
        }
        EXPECT_TRUE(has32) << p.file << ": no 32-pixel image in its icon";
        ::FreeLibrary(module);
    }
}
