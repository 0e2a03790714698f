#!/usr/bin/env bash
# Runs a fuzz target for a bounded time with a seed corpus made from the
# smaller fixtures (when ../shared is present) and the corpus kept in fuzz/corpus.
set -euo pipefail
target=$1
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus"
shared="$here/../../shared/fixtures"
if [ -d "$here/corpus-$(basename "$target")" ]; then
  # a target with seeds of its own (text, not database files)
  cp "$here/corpus-$(basename "$target")"/* "$work/corpus/"
elif [ -d "$shared" ]; then
  find "$shared" -type f \( -name '*.mdb' -o -name '*.accdb' \) -size -400k -exec cp {} "$work/corpus/" \;
fi
if [ -d "$here/corpus" ]; then cp "$here"/corpus/* "$work/corpus/" 2>/dev/null || true; fi
if [ -z "$(ls -A "$work/corpus")" ]; then
  printf '\x00\x01\x00\x00Standard Jet DB\x00\x01' > "$work/corpus/seed"
fi
echo "fuzzing $(basename "$target") for ${seconds}s over $(ls "$work/corpus" | wc -l) seeds"
"$target" "$work/corpus" -max_total_time="$seconds" -max_len=524288 -timeout=20 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/" 2>&1 | tail -n 15
rc=${PIPESTATUS[0]}
if [ "$rc" -ne 0 ]; then
  mkdir -p fuzz-artifacts
  cp "$work"/crash-* "$work"/timeout-* "$work"/leak-* "$work"/oom-* fuzz-artifacts/ 2>/dev/null || true
  echo "fuzzing found a problem (artifacts in fuzz-artifacts/)"
fi
exit "$rc"
