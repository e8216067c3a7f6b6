// vt_spawn_unix COMMAND LINE...: starts a Unix program (Wine runs one given
// by its Z: path) and ends at once. Tests start native helpers through it:
// a Wine process that has started a Unix program itself no longer reads
// back what it writes to a file it opens afterwards (Wine 8), which would
// break the checks that follow in the same test program.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

int main() {
    const wchar_t* line = ::GetCommandLineW();
    // Past our own name (quoted or not) and the blanks after it.
    if (*line == L'"') {
        line = std::wcschr(line + 1, L'"');
        if (!line) return 2;
        ++line;
    } else {
        while (*line && *line != L' ') ++line;
    }
    while (*line == L' ') ++line;
    if (!*line) return 2;
    wchar_t* command = _wcsdup(line);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    free(command);
    if (!started) return 1;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return 0;
}
