#!/usr/bin/env bash
# Starts the parts, waits until all are complete (or the Job has failed), then runs the join.
# usage: run.sh [TIMEOUT]   (kubectl's --timeout, default 24h)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
kubectl apply -f "$here/parts.yaml"
kubectl wait --for=condition=complete --timeout="${1:-24h}" job/talmora-parts
kubectl apply -f "$here/join.yaml"
kubectl wait --for=condition=complete --timeout=1h job/talmora-join
