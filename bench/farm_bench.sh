#!/usr/bin/env bash
# The web farm's figure: requests per second of two Apache servers loaded at once (wrk, the same
# user on both), their configuration on local disk, then on a GlusterFS volume mounted once per
# server with the reload check interval at 1000 ms and at 0. It prints a table; nothing is
# asserted, since timings mean something only on a quiet machine. Root only (it mounts a
# volume); installs GlusterFS when missing; builds nothing, so build first.
# Usage: bench/farm_bench.sh [SECONDS-PER-CASE]   (default 10)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
  echo "farm_bench: mounting a volume needs root" >&2
  exit 1
fi
"$top/scripts/deps" --farm
VARD_SOURCE="$top" VARD_BIN="${VARD_BIN:-$top/build/bin}" \
  exec python3 "$top/tests/e2e/farm.py" "${1:-10}"
