// vt_bench_clone SOURCE TARGET: the starter's clone of a game folder and its
// removal, timed: "copy_ms=<t> remove_ms=<t>".
#include <windows.h>

#include <cstdio>

#include "starter/win/folder_tree.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vt_bench_clone SOURCE\\ TARGET\\\n");
        return 2;
    }
    try {
        const ULONGLONG begin = ::GetTickCount64();
        vt::starter::CopyFolderTree(argv[1], argv[2]);
        const ULONGLONG copied = ::GetTickCount64();
        vt::starter::RemoveFolderTree(argv[2]);
        const ULONGLONG removed = ::GetTickCount64();
        std::printf("copy_ms=%llu remove_ms=%llu\n", copied - begin, removed - copied);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vt_bench_clone: %s\n", e.what());
        return 1;
    }
    return 0;
}
