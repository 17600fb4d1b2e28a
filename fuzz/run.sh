#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each, on a working copy of its seed
# corpus (new inputs land in BUILD_DIR/corpus, the repository keeps the
# small seeds). Fails on the first finding; the crash input is left in
# BUILD_DIR/findings.
#
#   fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$1
seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(rtp_receive rtcp xml)

mkdir -p "$build_dir/findings"
for target in "${targets[@]}"; do
  corpus="$build_dir/corpus/$target"
  mkdir -p "$corpus"
  cp -n "$root/fuzz/corpus/$target/"* "$corpus/"
  echo "fuzz: $target for ${seconds}s"
  # Leaks are checked by the targets themselves (pool full, modules gone);
  # the plug-in loaded by the XML target stays loaded on purpose.
  log="$build_dir/findings/$target.log"
  status=0
  "$build_dir/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build_dir/findings/$target-" "$corpus" >"$log" 2>&1 || status=$?
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|SUMMARY|fuzz check failed)' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log" >&2
    echo "fuzz: $target found a fault (exit $status), see $build_dir/findings" >&2
    exit 1
  fi
done
