#!/bin/sh
# check_imports.sh OBJDUMP EXE...: fails when a program imports a DLL that a
# bare Windows does not have (the C++ runtime, winpthread, libgcc).
set -eu
objdump=$1; shift
status=0
for exe in "$@"; do
    dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    [ -n "$dlls" ] || { echo "$exe: no imports found" >&2; status=1; }
    for dll in $dlls; do
        case "$dll" in
            kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|comdlg32.dll|ole32.dll|oleaut32.dll|shell32.dll|\
            shlwapi.dll|advapi32.dll|wininet.dll|bcrypt.dll|version.dll|msvcrt.dll|uxtheme.dll|ws2_32.dll|api-ms-win-*) ;;
            *) echo "$exe imports $dll, which a bare Windows lacks" >&2; status=1 ;;
        esac
    done
    echo "$exe: $(echo $dlls)"
done
exit $status
