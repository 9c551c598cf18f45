# Runs a script's steps one after another and sums them up (sourced, not run). Every step
# runs even when an earlier one failed, so one run shows all failures.

STEP_NAMES=()
STEP_RESULTS=()

log() { printf '\n==> %s\n' "$*"; }

# run_step NAME CMD...: runs CMD in a subshell with errexit in force (a function called from
# `if` or `||` would silently ignore its failing commands) and records the outcome.
run_step() {
  local name=$1 status start=$SECONDS
  shift
  log "$name"
  set +e
  (
    set -e
    "$@"
  )
  status=$?
  set -e
  STEP_NAMES+=("$name")
  if [[ $status -eq 0 ]]; then
    STEP_RESULTS+=("PASS  ($((SECONDS - start)) s)")
  else
    STEP_RESULTS+=("FAIL  (exit $status, $((SECONDS - start)) s)")
  fi
  return 0
}

# skip_step NAME WHY: records a step that did not run, as skipped and never as passed.
skip_step() {
  log "$1"
  echo "skipped: $2"
  STEP_NAMES+=("$1")
  STEP_RESULTS+=("SKIP  ($2)")
}

# print_summary TITLE: the table of steps and a closing "steps: N passed, N failed, N skipped"
# line; returns 1 when a step failed.
print_summary() {
  local i passed=0 failed=0 skipped=0
  printf '\n==> %s\n' "$1"
  for i in "${!STEP_NAMES[@]}"; do
    printf '  %-64s %s\n' "${STEP_NAMES[$i]}" "${STEP_RESULTS[$i]}"
    case ${STEP_RESULTS[$i]} in
      PASS*) passed=$((passed + 1)) ;;
      FAIL*) failed=$((failed + 1)) ;;
      SKIP*) skipped=$((skipped + 1)) ;;
    esac
  done
  printf '\nsteps: %d passed, %d failed, %d skipped\n' "$passed" "$failed" "$skipped"
  [[ $failed -eq 0 ]]
}
