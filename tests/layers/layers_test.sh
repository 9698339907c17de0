#!/usr/bin/env bash
# Checks that the source folders are layers: a folder includes only folders
# below it, page processing uses neither Qt nor the network, and nothing under
# the core includes a widget header.
set -euo pipefail
src="${1:?usage: layers_test.sh SRC_DIR}"

# Level of each folder; front ends share the top level, demo stands beside.
level() {
    case "$1" in
    common) echo 0 ;; crawl) echo 1 ;; http) echo 2 ;; download) echo 3 ;;
    engine) echo 4 ;; settings | render) echo 5 ;;
    gallery) echo 6 ;; viewer) echo 7 ;; app | cli) echo 8 ;;
    demo) echo 0 ;;
    *) echo -1 ;;
    esac
}

fail=0
for dir in "$src"/*/; do
    folder=$(basename "$dir")
    mine=$(level "$folder")
    if [ "$mine" -lt 0 ]; then
        echo "unknown folder src/$folder: give it a level in $0"
        fail=1
        continue
    fi
    while IFS= read -r line; do
        file=${line%%:*}
        used=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$line")
        [ "$used" = "$folder" ] && continue
        theirs=$(level "$used")
        ok=1
        if [ "$theirs" -lt 0 ] || [ "$theirs" -ge "$mine" ]; then ok=0; fi
        # demo stands beside the layers: only the front ends use it, and it
        # uses nothing of them.
        if [ "$used" = demo ] && [ "$mine" -lt 8 ]; then ok=0; fi
        if [ "$folder" = demo ]; then ok=0; fi
        if [ "$ok" -eq 0 ]; then
            echo "${file#"$src"/} includes src/$used, which is not below src/$folder"
            fail=1
        fi
    done < <(grep -HE '^#include "[a-z]+/' "$dir"*.h "$dir"*.cpp 2>/dev/null || true)
done

# Page processing works on text alone.
if grep -HnE '^#include <(Q|curl/)' "$src"/common/* "$src"/crawl/*; then
    echo "common/ and crawl/ must not use Qt or libcurl"
    fail=1
fi
# The core is free of widgets.
for folder in common crawl http download engine settings; do
    if grep -HnE '^#include <(QtWidgets|QWidget|QApplication|QMessageBox|QDialog)' "$src/$folder"/*; then
        echo "src/$folder must not use widgets"
        fail=1
    fi
done

[ "$fail" -eq 0 ] && echo "layers: every folder includes only folders below it"
exit "$fail"
