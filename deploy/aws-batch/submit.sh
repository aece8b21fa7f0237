#!/usr/bin/env bash
# Submits the parts as an array job and the join as a job that depends on the whole array.
# AWS Batch gives each child its index, from 0, in AWS_BATCH_JOB_ARRAY_INDEX, which
# `--part auto/N` reads (index 0 renders the first part).
#
# usage: submit.sh QUEUE PARTS [OPTIONS]   e.g. submit.sh render-queue 64 "--codec H264"
# (the definition's own command renders one of 8 parts; the submissions set it for PARTS.)
#
# job-definition.json (register it once with `aws batch register-job-definition
# --cli-input-json file://job-definition.json`) mounts an EFS file system at /shared: the script's
# folder, with the pictures and sounds it names, lies there, since the parts are written next to
# the script. The join writes /shared/film/movie.mp4.
set -euo pipefail
queue=$1 parts=$2 options=${3:---codec H264}
# Each option word is its own argument: the command's "Ref::" placeholders take one word each.
read -r -a words <<<"$options"
overrides() {  # the command of the definition with the options and the step filled in
  local step=$1
  printf '{"command": ["talmora"'
  for w in "${words[@]}"; do printf ', "%s"' "$w"; done
  printf ', %s, "/shared/film/movie.xml"]}' "$step"
}
array=$(aws batch submit-job --job-name talmora-parts --job-queue "$queue" --job-definition talmora \
  --array-properties size="$parts" \
  --container-overrides "$(overrides "\"--part\", \"auto/$parts\"")" --query jobId --output text)
aws batch submit-job --job-name talmora-join --job-queue "$queue" --job-definition talmora \
  --depends-on jobId="$array" \
  --container-overrides "$(overrides "\"--join\", \"$parts\", \"-o\", \"/shared/film/movie.mp4\"")" \
  --query jobId --output text
