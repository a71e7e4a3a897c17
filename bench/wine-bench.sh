#!/bin/sh
# Runs the Wine benchmarks (LiveBench.exe: getname among 1,000 windows,
# finishing hand-offs) for the native `bench` target.
#
#   wine-bench.sh WINDOWS_BUILD_DIR RESULT_FILE
#
# QUENBRIX_WINEPREFIX names the Wine prefix (the tests' one). The result
# lines go to RESULT_FILE, which the native benchmark table shows; when
# the run fails, a line says so, so that the table is still printed.
set -u
windows_dir="$1"
result="$2"
here="$(cd "$(dirname "$0")" && pwd)"

sh "$here/../tests/windows/wine-run.sh" setup || {
    echo "failed: the Wine prefix could not be set up" >"$result"
    exit 0
}
export WINEPREFIX="${QUENBRIX_WINEPREFIX:?}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

cd "$(dirname "$result")" || exit 1
name="$(basename "$result")"
rm -f "$name"
xvfb-run -a -s "-screen 0 1280x1024x24" \
    sh -c 'wine "$@"; rc=$?; wineserver -k >/dev/null 2>&1; exit $rc' \
    sh "$windows_dir/LiveBench.exe" "--out=$name"
rc=$?
if [ ! -s "$name" ]; then
    printf 'getname failed: LiveBench.exe ended with %s (see its output above)\nhandoff failed too\n' \
        "$rc" >"$name"
fi
exit 0
