#!/usr/bin/env bash
# Installs the tree's git hooks into this clone: pre-commit (clang-format-14 on the staged C++ files,
# then clang-tidy on the staged sources) and commit-msg (the subject form of CONTRIBUTING.md). Each
# installed hook only calls the one in scripts/hooks/ of the checkout that commits, so a change to the
# hooks takes effect without installing again. An existing hook of another kind is kept as NAME.local
# and not run.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
hooks=$(git -C "$root" rev-parse --path-format=absolute --git-path hooks)
mkdir -p "$hooks"
for name in pre-commit commit-msg; do
    target=$hooks/$name
    if [ -e "$target" ] && ! grep -q 'rmz47 hook' "$target"; then
        mv "$target" "$target.local"
        echo "install-hooks.sh: the former $name kept as $target.local" >&2
    fi
    cat >"$target" <<HOOK
#!/bin/sh
# rmz47 hook, installed by scripts/install-hooks.sh
exec bash "\$(git rev-parse --show-toplevel)/scripts/hooks/$name" "\$@"
HOOK
    chmod +x "$target"
done
echo "install-hooks.sh: pre-commit and commit-msg installed in $hooks" >&2
