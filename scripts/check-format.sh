#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from the repository's .clang-format. The
# formatter's version is pinned: another version formats some constructs differently.
# With --fix, formats the files in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
CLANG_FORMAT=${CLANG_FORMAT:-clang-format-14}
if ! "$CLANG_FORMAT" --version | grep -q "version 14\."; then
  echo "check-format: $CLANG_FORMAT is not clang-format 14" >&2
  exit 2
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -P "$(nproc)" -n 50 "$CLANG_FORMAT" -i
  exit 0
fi
if ! printf '%s\0' "${files[@]}" | xargs -0 -P "$(nproc)" -n 50 "$CLANG_FORMAT" --dry-run --Werror 2>/tmp/check-format.$$; then
  grep -o '^[^:]*\.\(cpp\|h\)' /tmp/check-format.$$ | sort -u | sed 's/^/not formatted: /' >&2
  rm -f /tmp/check-format.$$
  echo "check-format: run scripts/check-format.sh --fix" >&2
  exit 1
fi
rm -f /tmp/check-format.$$
echo "check-format: ${#files[@]} files formatted"
