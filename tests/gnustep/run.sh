#!/bin/sh
# Runs one GNUstep program under a virtual X display of its own, with
# GNUstep's defaults kept in a home folder of its own, then stops the
# notification daemon (gdnc) that GNUstep starts by itself, if this run
# started it. Without xvfb-run the test is skipped (exit 77); in CI (the
# environment variable CI set) it fails.
#   run.sh <home folder> <program> [arguments]
home=$1
shift
if ! command -v xvfb-run >/dev/null 2>&1 || ! command -v xauth >/dev/null 2>&1; then
    echo "skipped: the GNUstep suite needs a virtual X display (apt-get install xvfb xauth)"
    [ -n "${CI:-}" ] && exit 1
    exit 77
fi
mkdir -p "$home"
before=" $(pgrep -x gdnc | tr '\n' ' ') "
HOME=$home xvfb-run -a "$@"
status=$?
for pid in $(pgrep -x gdnc); do
    case "$before" in
    *" $pid "*) ;;
    *) kill "$pid" 2>/dev/null ;;
    esac
done
exit $status
