# Sourced by the set-up scripts (needs $root and $setup_name): the tools'
# output (everything a script sends to standard error) is appended to one log
# file, out/setup.log unless TARVO_SETUP_LOG names another; say() prints the
# script's own lines on the terminal; when the script fails, the lines this
# run added to the log are shown (at most the last 60) with the log's name.
setup_log=${TARVO_SETUP_LOG:-$root/out/setup.log}
mkdir -p "$(dirname "$setup_log")"
echo "== $setup_name $(date -u +%Y-%m-%dT%H:%M:%SZ)" >>"$setup_log"
setup_log_from=$(wc -l <"$setup_log")
exec 3>&2 2>>"$setup_log"

# say TEXT...: one line of the script's own on the terminal.
say() { echo "$setup_name: $*" >&3; }

setup_log_on_exit() {
  local status=$?
  if [ "$status" -ne 0 ]; then
    {
      echo "$setup_name: failed (exit $status); the end of its output in $setup_log:"
      tail -n +"$setup_log_from" "$setup_log" | tail -n 60
    } >&3
  fi
}
trap setup_log_on_exit EXIT
