#!/usr/bin/env bash
# Fails, naming the files, when a tracked C++ file differs from what .clang-format makes of it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bad=()
while IFS= read -r f; do
    clang-format --style=file "$f" | cmp -s - "$f" || bad+=("$f")
done < <(git ls-files '*.cpp' '*.h' '*.cc' '*.hpp')
if ((${#bad[@]})); then
    echo "These files are not formatted (run: clang-format -i FILE):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "format: every C++ file matches .clang-format"
