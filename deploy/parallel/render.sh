#!/usr/bin/env bash
# Renders a script as PARTS parts with GNU parallel, on this machine or over ssh, then joins them
# here once every part has ended well.
#
# usage: render.sh PARTS SCRIPT OUTPUT [talmora options...]
#   local, two parts at a time:   JOBS=2 render.sh 8 movie.xml movie.mp4 --codec H264
#   over ssh, 4 parts a host:     SSHLOGIN=4/node1,4/node2 render.sh 64 /shared/film/movie.xml movie.mp4 --codec H264
#
# The parts are written next to SCRIPT. Over ssh its folder (with the pictures and sounds the
# script names) must be one shared folder that every host sees at the same path, and TALMORA
# (default: talmora on the PATH) must run there. JOBS sets the parts at a time here (default: one
# a core); SSHLOGIN is handed to parallel's --sshlogin.
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: render.sh PARTS SCRIPT OUTPUT [talmora options...]" >&2
  exit 2
fi
parts=$1 script=$2 output=$3
shift 3
script=$(cd "$(dirname "$script")" && pwd)/$(basename "$script")
talmora=${TALMORA:-talmora}
where=(-j "${JOBS:-100%}")
[ -n "${SSHLOGIN:-}" ] && where=(--sshlogin "$SSHLOGIN")
# Each part waits for nobody at its end and keeps its console lines in a log beside its files;
# the first part that fails stops the others.
log="$(printf '%q' "${script%.*}").part-{}-of-$parts.log"
command="$(printf '%q ' "$talmora" "$@") --part {}/$parts $(printf '%q' "$script") </dev/null >$log"
parallel "${where[@]}" --halt now,fail=1 "$command" ::: $(seq 1 "$parts")
exec "$talmora" "$@" --join "$parts" -o "$output" "$script" </dev/null
