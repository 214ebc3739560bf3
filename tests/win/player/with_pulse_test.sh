#!/usr/bin/env bash
# How scripts/with-pulse runs the command it is given: skipped (77, the command not run) where
# PulseAudio is missing; otherwise in real time where the machine allows it, and with the stream's
# latency left to Wine unless a run asks for one; a probe reporting where the machine stood
# still; a settling program run through wine-run before
# the command, against the private server, and a failing one stopping the run. Each case prints
# what it saw when it fails.
set -u
script=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/with-pulse-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
export CLIPVANE_BUILD=$work/build
mkdir -p "$CLIPVANE_BUILD"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# A machine without PulseAudio: every command of this one but the two the script needs from it.
bin=$work/bin
mkdir -p "$bin"
IFS=: read -ra folders <<< "$PATH"
for folder in "${folders[@]}"; do
  for tool in "$folder"/*; do
    name=$(basename "$tool")
    case "$name" in pulseaudio|parec) continue ;; esac
    [ -e "$bin/$name" ] || ln -s "$tool" "$bin/$name"
  done
done
PATH=$bin "$script" touch "$work/ran" 2>/dev/null
status=$?
[ "$status" = 77 ] || fail "without PulseAudio: exit status $status, expected 77"
[ ! -e "$work/ran" ] || fail "without PulseAudio: the command ran"

if ! command -v pulseaudio >/dev/null || ! command -v parec >/dev/null; then
  echo "PulseAudio is not installed here: only the case without it was run"
  exit $((failures > 0))
fi

# The scheduling policy the command runs under, and the latency it would ask the server for.
seen() { "$script" bash -c 'chrt -p $$ | head -1 | sed "s/.*: //"; echo "latency=${PULSE_LATENCY_MSEC-unset}"' 2>"$work/err"; }
expected_policy=SCHED_RR
chrt -r 1 true 2>/dev/null || expected_policy=SCHED_OTHER  # real time refused on this machine
while read -r asked policy latency; do
  [ "$asked" = - ] && asked=""
  output=$(CLIPVANE_PULSE_LATENCY_MSEC=$asked CLIPVANE_PULSE_RT_PRIORITY=$policy seen)
  wanted=$expected_policy
  [ "$policy" = 0 ] && wanted=SCHED_OTHER
  [ "$output" = "$(printf '%s\nlatency=%s' "$wanted" "$latency")" ] ||
    fail "latency '$asked', priority $policy: saw '$output' ($(cat "$work/err"))"
done <<'CASES'
- 10 unset
50 10 50
- 0 unset
CASES

# The stall probe: the command stops it for a second, as a virtual machine that is not given its
# processors stops every thread, and the report must show that stall where the recording then
# was, while the command's exit status passes through. Then a real-time loop above the probe
# holds the first processor alone for 0.6 s: its watcher is late, the other one is not, and that
# is no stall of the machine.
if chrt -f 1 true 2>/dev/null && command -v cc >/dev/null && [ "$(nproc)" -ge 2 ]; then
  # shellcheck disable=SC2016
  "$script" bash -c 'probe=$(pgrep -P $PPID -x stall-probe); sleep 0.5; kill -STOP $probe; sleep 1; kill -CONT $probe
    echo $(( $(stat -c %s "$CLIPVANE_RECORDING") * 1000 / (CLIPVANE_RECORDING_RATE * CLIPVANE_RECORDING_CHANNELS * 2) )) >"$CLIPVANE_BUILD/at"
    sleep 0.2
    chrt -f 99 taskset -c 0 bash -c "end=\$(( \${EPOCHREALTIME/./} + 600000 )); while (( \${EPOCHREALTIME/./} < end )); do :; done"
    sleep 0.2; exit 3' 2>"$work/err"
  status=$?
  [ "$status" = 3 ] || fail "stall probe: exit status $status, expected the command's 3"
  at=$(cat "$CLIPVANE_BUILD/at" 2>/dev/null || echo none)
  stall=$(awk -v at="$at" '$2 == "stall" && $3 >= 1000 && $3 < 1300 { into = $5 * 1000; if (into - at < 60 && at - into < 60) print }' "$work/err")
  [ -n "$stall" ] || fail "stall probe: no stall of 1000-1300 ms at $at ms into the recording in: $(grep with-pulse: "$work/err")"
  held=$(awk '$1 == "late" && $2 == 0 && $4 >= 550' "$CLIPVANE_BUILD/pulse/stalls.log")
  [ -n "$held" ] || fail "stall probe: the first processor's watcher was not seen held for 0.6 s"
  ! awk '$2 == "stall" && $3 >= 400 && $3 < 1000' "$work/err" | grep -q . ||
    fail "stall probe: one processor held was taken for the machine: $(grep with-pulse: "$work/err")"
  # A run killed outright (no trap runs) must not leave the real-time probe behind.
  "$script" sleep 5 2>/dev/null &
  runner=$!
  probe=""
  for _ in $(seq 1 100); do probe=$(pgrep -P $runner -x stall-probe) && break; sleep 0.1; done
  kill -KILL $runner
  sleep 0.5
  # Nothing of that run stops its server now (the recorder ends with it).
  kill "$(cat "$CLIPVANE_BUILD/pulse/pid" 2>/dev/null)" 2>/dev/null
  if [ -z "$probe" ]; then
    fail "stall probe: not running beside the command"
  elif ps -o stat= -p "$probe" | grep -q '^[^Z]'; then  # an ended one may wait unreaped
    fail "stall probe: still running after its run was killed"
    kill "$probe"
  fi

  # The gaps a command hears, judged against the probe. Each try of the command below does what
  # its word in PLAN says: "stall" stops the probe for 30 ms, as the machine would, and notes a
  # gap 10-20 ms after it; "long" a 100 ms gap there, longer than the stall; "late" the same gap 70-80 ms after, past the stall's length, a period
  # and the recorder's latency; "early" a gap that ended 3 s before it, 11 s into the recording (its
  # time and the stall's differ in their count of digits); "held" notes the
  # stall's gap after 0.3 s for which a real-time loop held the first processor alone; "fail" is a
  # stall's gap and exit status 3; "none" hears nothing amiss. Each try notes whether it was given
  # a file for its gaps, and writes them as a Windows program does, each line ending in CR LF.
  cat >"$work/hears" <<'HEARS'
#!/usr/bin/env bash
echo "try ${CLIPVANE_GAPS:+judged}" >>"$CLIPVANE_BUILD/tries"
read -ra plan <<<"$PLAN"
step=${plan[$(($(wc -l <"$CLIPVANE_BUILD/tries") - 1))]}
probe=$(pgrep -P $PPID -x stall-probe)
recorded() { echo "$(stat -c %s "$CLIPVANE_RECORDING") $((CLIPVANE_RECORDING_RATE * CLIPVANE_RECORDING_CHANNELS * 2))"; }
stall() { kill -STOP $probe; sleep 0.03; kill -CONT $probe; }
gap() { echo "$1" | awk -v from="$2" -v to="$3" '{ printf "gap %.4f %.4f\r\n", $1 / $2 + from, $1 / $2 + to }' >>"$CLIPVANE_GAPS"; }
sleep 0.3
case $step in
  stall|fail) stall; gap "$(recorded)" 0.010 0.020 ;;
  long) stall; gap "$(recorded)" 0.010 0.110 ;;
  late) stall; gap "$(recorded)" 0.070 0.080 ;;
  early) sleep 10.5; stall; gap "$(recorded)" -3.010 -3.000 ;;
  held) chrt -f 99 taskset -c 0 bash -c 'end=$(( ${EPOCHREALTIME/./} + 300000 )); while (( ${EPOCHREALTIME/./} < end )); do :; done'
    gap "$(recorded)" 0.010 0.020 ;;
esac
sleep 0.2
[ "$step" = fail ] && exit 3
exit 0
HEARS
  chmod +x "$work/hears"
  while read -r plan probed status tries; do
    rm -f "$CLIPVANE_BUILD/tries"
    PLAN=${plan//,/ } CLIPVANE_STALL_PROBE=$probed "$script" "$work/hears" 2>"$work/err"
    seen=$?
    judged=judged
    [ "$probed" = 0 ] && judged=""
    wanted=$(for _ in $(seq 1 "$tries"); do echo "try $judged"; done)
    [ "$seen" = "$status" ] && [ "$(cat "$CLIPVANE_BUILD/tries")" = "$wanted" ] ||
      fail "gaps heard ($plan): exit status $seen after tries '$(cat "$CLIPVANE_BUILD/tries")', expected $status after $tries: $(grep with-pulse: "$work/err")"
  done <<'CASES'
stall,none 1 0 2
stall,stall,stall 1 77 3
fail 1 3 1
late 1 1 1
long 1 1 1
early 1 1 1
held 1 1 1
none 0 0 1
CASES
fi

# --settle: a copy of the script beside a wine-run that notes what it was asked to run and "saves
# the registry" a second later, as wineserver would: a new file renamed over user.reg. The command
# must start after that save, against the private server; a failing settle stops the run.
scripts=$work/scripts
mkdir -p "$scripts"
cp "$script" "$(dirname "$script")/wine-env" "$scripts/"
cat >"$scripts/wine-run" <<'FAKE'
#!/bin/sh
echo "settle $1 $PULSE_SERVER" >>"$CLIPVANE_BUILD/order"
mkdir -p "$WINEPREFIX"
(sleep 1; : >"$WINEPREFIX/new"; mv "$WINEPREFIX/new" "$WINEPREFIX/user.reg") &
exit $SETTLE_STATUS
FAKE
chmod +x "$scripts/wine-run"
for settled in 0 1; do
  export CLIPVANE_BUILD=$work/build-$settled
  mkdir -p "$CLIPVANE_BUILD"
  SETTLE_STATUS=$settled "$scripts/with-pulse" --settle settler.exe \
    sh -c 'test -e "$WINEPREFIX/user.reg" && echo "command after the save" >>"$CLIPVANE_BUILD/order"' 2>/dev/null
  status=$?
  wanted="settle settler.exe unix:$CLIPVANE_BUILD/pulse/native"
  [ "$settled" = 0 ] && wanted=$(printf '%s\ncommand after the save' "$wanted")
  [ "$(cat "$CLIPVANE_BUILD/order" 2>/dev/null)" = "$wanted" ] || fail "settle exiting $settled: ran '$(cat "$CLIPVANE_BUILD/order" 2>/dev/null)'"
  [ $((status != 0)) = "$settled" ] || fail "settle exiting $settled: exit status $status"
done
exit $((failures > 0))
