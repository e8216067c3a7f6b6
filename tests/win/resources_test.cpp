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

TEST(Resources, EachProgramHasA32PixelIcon) {
    for (const Program& p : kPrograms) {
        const std::string exe = vt::test::BuildDir() + p.file;
        HMODULE module = ::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << p.file;
        HICON icon = static_cast<HICON>(::LoadImageA(module, MAKEINTRESOURCEA(1), IMAGE_ICON, 32, 32, 0));
        EXPECT_NE(icon, nullptr) << p.file;
        ICONINFO info{};
        if (icon && ::GetIconInfo(icon, &info)) {
            BITMAP bitmap{};
            ::GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
            EXPECT_EQ(bitmap.bmWidth, 32) << p.file;
            ::DeleteObject(info.hbmMask);
            if (info.hbmColor) ::DeleteObject(info.hbmColor);
            ::DestroyIcon(icon);
        }
        ::FreeLibrary(module);
    }
}
