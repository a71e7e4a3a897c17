#!/bin/sh
# Runs the Wine getname benchmark for the native `bench` target.
#
#   wine-getname.sh WINDOWS_BUILD_DIR RESULT_FILE
#
# QUENBRIX_WINEPREFIX names the Wine prefix (the tests' one). The result
# line goes to RESULT_FILE, which the native benchmark table shows; when
# the run fails, the line says so, so that the table is still printed.
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
    sh "$windows_dir/LiveGetnameBench.exe" "$name"
rc=$?
if [ $rc -ne 0 ] || [ ! -s "$name" ]; then
    echo "failed: LiveGetnameBench.exe ended with $rc (see its output above)" >"$name"
fi
exit 0
