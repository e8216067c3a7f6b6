// vt_bench_clone SOURCE TARGET: the starter's clone of a game folder and its
// removal, timed as the start sequence does them (the clone marked first,
// every entry noted as it is made, only noted entries removed):
// "copy_ms=<t> remove_ms=<t>".
#include <windows.h>

#include <cstdio>

#include "starter/win/clone_folder.h"
#include "starter/win/folder_tree.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vt_bench_clone SOURCE\\ TARGET\\\n");
        return 2;
    }
    try {
        const ULONGLONG begin = ::GetTickCount64();
        if (!vt::starter::MakeOwnClone(argv[2])) {
            std::fprintf(stderr, "vt_bench_clone: cannot make the clone %s\n", argv[2]);
            return 1;
        }
        {
            vt::starter::CloneRecorder recorder(argv[2]);
            vt::starter::CopyFolderTree(argv[1], argv[2], &recorder);
        }
        const ULONGLONG copied = ::GetTickCount64();
        vt::starter::RemoveOwnClone(argv[2]);
        const ULONGLONG removed = ::GetTickCount64();
        if (::GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES) {
            std::fprintf(stderr, "vt_bench_clone: the clone was not removed whole\n");
            return 1;
        }
        std::printf("copy_ms=%llu remove_ms=%llu\n", copied - begin, removed - copied);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vt_bench_clone: %s\n", e.what());
        return 1;
    }
    return 0;
}
