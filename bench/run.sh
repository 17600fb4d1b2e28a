#!/usr/bin/env bash
# Runs the benchmark driver (medians of 5 runs, one table), in a private
# network namespace with its own loopback when the system allows it.
#   bench/run.sh BUILD_DIR [zqbench options]
set -euo pipefail
build=${1:-build-bench}
shift || true
bin="$build/bin/zqbench"
[ -x "$bin" ] || { echo "run.sh: $bin not built" >&2; exit 2; }
if command -v ip >/dev/null 2>&1 && unshare -n true 2>/dev/null; then
  exec unshare -n sh -c 'ip link set lo up && exec "$0" "$@"' "$bin" "$@"
fi
exec "$bin" "$@"
