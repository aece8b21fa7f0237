#!/usr/bin/env bash
# A single-node Slurm on 127.0.0.1, started here in the foreground and stopped at the end: munged,
# slurmctld and slurmd with a configuration of their own in a temporary folder. deploy/slurm
# submits the tiny scene's parts as a job array and the join as a job depending on it; the join
# must give the same files as one render. Skipped (77), saying why, where the daemons cannot start.
# usage: slurm.sh TALMORA
set -uo pipefail
TALMORA=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
skip() {
  echo "SKIPPED: $*"
  exit 77
}
for program in munged slurmctld slurmd sbatch squeue scontrol sinfo; do
  command -v "$program" >/dev/null || skip "$program is not installed (scripts/install-deps.sh installs slurm-wlm and munge)"
done
[ "$(id -u)" = 0 ] || skip "the daemons are started as root here, and this is not root"

dir=$(mktemp -d)
chmod 755 "$dir"
pids=()
watcher=
stop() {
  # The daemons this test started, by their ids, newest first; then their folder.
  [ -n "$watcher" ] && kill "$watcher" 2>/dev/null
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$dir"
}
trap stop EXIT

# A port nobody listens on, from the dynamic range.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 20000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  return 1
}
# Waits up to $1 seconds for the command that follows to succeed.
await() {
  local seconds=$1
  shift
  for _ in $(seq $((seconds * 5))); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  return 1
}

head -c 1024 /dev/urandom >"$dir/munge.key"
chmod 400 "$dir/munge.key"
munged --foreground --force --socket="$dir/munge.socket" --key-file="$dir/munge.key" \
  --pid-file="$dir/munged.pid" --log-file="$dir/munged.log" --seed-file="$dir/munge.seed" >"$dir/munged.out" 2>&1 &
pids+=($!)
await 10 test -S "$dir/munge.socket" || skip "munged did not start: $(tail -n 3 "$dir/munged.log" "$dir/munged.out" 2>/dev/null | tr '\n' ' ')"

node=$(hostname -s)
controller_port=$(free_port) && node_port=$(free_port) || skip "no free port on 127.0.0.1"
mkdir -p "$dir/state" "$dir/spool"
export SLURM_CONF=$dir/slurm.conf
cat >"$SLURM_CONF" <<CONF
ClusterName=talmora
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$controller_port
SlurmdPort=$node_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$dir/munge.socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MpiDefault=none
ReturnToService=2
SlurmdParameters=config_overrides
NodeName=$node NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP OverSubscribe=YES
CONF
slurmctld -D -i -f "$SLURM_CONF" >"$dir/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" -N "$node" >"$dir/slurmd.out" 2>&1 &
pids+=($!)
# Should this script be killed outright (a test's timeout), the daemons go with it.
(
  while kill -0 $$ 2>/dev/null; do sleep 1; done
  kill "${pids[@]}" 2>/dev/null
  for _ in $(seq 50); do kill -0 "${pids[@]}" 2>/dev/null || break; sleep 0.2; done
  rm -rf "$dir"
) &
watcher=$!
idle() { sinfo -h -N -o %t | grep -qx idle; }
await 30 idle || skip "the Slurm daemons did not come up: $(tail -n 3 "$dir/slurmctld.log" "$dir/slurmd.log" "$dir/slurmctld.out" "$dir/slurmd.out" 2>/dev/null | tr '\n' ' ')"

mkdir "$dir/film"
make_scene "$dir/film" --codec MJPG || exit 1
jobs=$(TALMORA=$TALMORA bash "$here/../../deploy/slurm/render.sh" 3 "$dir/film/movie.xml" movie.mkv --codec MJPG) ||
  { echo "the recipe could not submit: $jobs"; exit 1; }
read -r array join <<<"$jobs"
echo "array job $array, join job $join"
# Done once neither is queued or running any more.
finished() { [ -z "$(squeue -h -j "$array,$join" -o %i 2>/dev/null)" ]; }
if ! await 120 finished; then
  squeue
  echo "the jobs did not finish within 120 s"
  exit 1
fi
cat "$dir/film/slurm-$join.out"
for k in 1 2 3; do
  grep -q "aviの作成が完了しました" "$dir/film/slurm-${array}_$k.out" || { echo "task $k did not complete"; cat "$dir/film/slurm-${array}_$k.out"; exit 1; }
done
check_join "$dir/film" "$dir/film/movie.mkv"
