#!/usr/bin/env bash
# Renders a script as PARTS parts on a Slurm job array, and joins them in a job that starts once
# every part has ended well (and is cancelled if one has not). Prints the two job ids.
#
# usage: render.sh PARTS SCRIPT OUTPUT [talmora options...]
#   e.g. render.sh 64 /shared/film/movie.xml /shared/film/movie.mp4 --codec H264
#
# The parts are written next to SCRIPT, so its folder (with the pictures and sounds the script
# names) must be one shared folder that every node sees at the same path. OUTPUT is taken from
# that folder too when relative. TALMORA names the program on the nodes (default: talmora on
# their PATH); SBATCH_OPTIONS adds options to both submissions (partition, account, time, ...).
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: render.sh PARTS SCRIPT OUTPUT [talmora options...]" >&2
  exit 2
fi
parts=$1 script=$2 output=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
folder=$(cd "$(dirname "$script")" && pwd)
name=$(basename "$script")
talmora=${TALMORA:-talmora}
read -r -a extra <<<"${SBATCH_OPTIONS:-}"

# Each task renders part SLURM_ARRAY_TASK_ID of PARTS (the array counts from 1, as K does).
array=$(sbatch --parsable "${extra[@]}" --array=1-"$parts" --job-name=talmora-part --chdir="$folder" \
  --output="$folder/slurm-%A_%a.out" "$here/part.sbatch" "$talmora" "$parts" "$name" "$@")
array=${array%%;*}
join=$(sbatch --parsable "${extra[@]}" --dependency=afterok:"$array" --kill-on-invalid-dep=yes \
  --job-name=talmora-join --chdir="$folder" --output="$folder/slurm-%j.out" \
  "$here/join.sbatch" "$talmora" "$parts" "$name" "$output" "$@")
echo "${array} ${join%%;*}"
