#!/bin/sh
# The includes run one way: the launcher's window -> run -> fetch, and every
# part onto platform/, which includes nothing above it. A file that includes
# against the arrows fails this with its line.
#   sh tests/layers_test.sh SOURCE_DIR
set -u
cd "$1" || exit 2
status=0
refuse() {  # FOLDER PATTERN WHY
    found=$(grep -rnE "^#include \"($2)" "$1" --include='*.h' --include='*.cpp' 2>/dev/null)
    if [ -n "$found" ]; then
        echo "$3:"
        echo "$found"
        status=1
    fi
}
for folder in platform launcher/win/window launcher/win/run launcher/win/fetch; do
    [ -d "$folder" ] || { echo "$folder is missing"; status=1; }
done
refuse platform 'config/|launcher/|starter/|tools/' "platform/ includes a part above it"
refuse launcher/win/fetch 'launcher/win/(run|window)/' "a fetch file includes the run or the window"
refuse launcher/win/run 'launcher/win/window/' "a run file includes the window"
refuse launcher/rules 'launcher/win/|platform/win/' "a portable rule includes Windows code"
[ $status -eq 0 ] && echo "the includes run one way"
exit $status
