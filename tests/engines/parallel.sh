#!/usr/bin/env bash
# GNU parallel, two parts at a time, renders the tiny scene's parts through deploy/parallel and
# joins them: the same files as one render. Skipped (77) where parallel is not installed.
# usage: parallel.sh TALMORA
set -uo pipefail
TALMORA=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
if ! command -v parallel >/dev/null; then
  echo "SKIPPED: GNU parallel is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
make_scene "$dir" --codec MJPG || exit 1
cd "$dir" || exit 1
TALMORA=$TALMORA JOBS=2 bash "$here/../../deploy/parallel/render.sh" 3 movie.xml movie.mkv --codec MJPG >join.log
status=$?
cat join.log
[ "$status" = 0 ] || { echo "the recipe ended with status $status"; exit 1; }
for k in 1 2 3; do
  grep -q "aviの作成が完了しました" "movie.part-$k-of-3.log" || { echo "part $k did not complete"; exit 1; }
done
check_join "$dir" movie.mkv
