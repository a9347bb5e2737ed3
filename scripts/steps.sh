# Sourced by the long scripts: numbered steps with the time each took, on standard error, so that
# whoever waits knows what is happening and where the minutes go.
#   steps_begin N               N steps follow
#   step "NAME" COMMAND...      runs COMMAND as step i of N: "== [i/N] NAME", then its time and
#                               the processor time it took (user and system, all its processes)
#   steps_end                   the whole run's time
# A step that fails ends the script (set -e) with "== [i/N] NAME failed after T". A script run
# inside another's step numbers its own steps after that step's: "== [8/10 2/3] ...".

steps_total=0
steps_done=0
steps_started=$SECONDS
steps_current=""
steps_outer="${ORNR_STEP:+$ORNR_STEP }"
steps_times_file=$(mktemp "${TMPDIR:-/tmp}/steps.XXXXXX")

steps_time() {
  local s=$1
  if [ "$s" -ge 60 ]; then printf '%dm%02ds' $((s / 60)) $((s % 60)); else printf '%ds' "$s"; fi
}

# Sets steps_cpu_seconds to the processor time the script's finished children have used. `times`
# runs in this shell: in a subshell it would count that subshell's children alone.
steps_cpu() {
  times >"$steps_times_file"
  steps_cpu_seconds=$(awk 'END { n = 0; for (i = 1; i <= 2; i++) { split($i, t, /[ms]/);
    n += t[1] * 60 + t[2] } printf "%d\n", n }' "$steps_times_file")
}

steps_on_exit() {
  local status=$?
  rm -f "$steps_times_file"
  if [ -n "$steps_current" ] && [ "$status" -ne 0 ]; then
    echo "== [$steps_outer$steps_done/$steps_total] $steps_current failed after" \
      "$(steps_time $((SECONDS - steps_current_start)))" >&2
  fi
}
trap steps_on_exit EXIT

steps_begin() {
  steps_total=$1
  steps_started=$SECONDS
}

# Not run as a condition: inside one, bash would ignore set -e in the command.
step() {
  local name=$1
  shift
  steps_done=$((steps_done + 1))
  steps_current=$name
  steps_current_start=$SECONDS
  local number="$steps_outer$steps_done/$steps_total" cpu
  steps_cpu
  cpu=$steps_cpu_seconds
  echo "== [$number] $name" >&2
  ORNR_STEP="$number" "$@"
  steps_cpu
  echo "== [$number] $name ... $(steps_time $((SECONDS - steps_current_start)))" \
    "($(steps_time $((steps_cpu_seconds - cpu))) of processor time)" >&2
  steps_current=""
}

steps_end() {
  echo "== ${steps_outer:+[${steps_outer% }] }$steps_done steps in $(steps_time $((SECONDS - steps_started)))" >&2
}
