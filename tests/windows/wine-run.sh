#!/bin/sh
# Runs the Windows test programs under Wine for CTest.
#
#   wine-run.sh setup              make the Wine prefix (once) and set it up
#   wine-run.sh PROGRAM.exe ARGS   run a GoogleTest program on a virtual X display
#
# QUENBRIX_WINEPREFIX names the prefix, shared by the whole test run. Each
# run starts and ends its own wineserver, so that every program of one run
# (the test program, the second start of it, the other application) meets
# the same X display. The rest of the environment reaches the Windows
# programs as it is: Wine hands it on, and so the stand-in host in
# MaxAPI.dll sees MAXHOST_FREED_CALLS as the native one does.
set -u
export WINEPREFIX="${QUENBRIX_WINEPREFIX:?}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1

if [ "$1" = setup ]; then
    # Making a fresh prefix has failed now and then without a word; a second
    # try from a clean server has always worked.
    for attempt in 1 2 3; do
        rc=0
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wine wineboot -i || rc=$?
            wineserver -w
        fi
        # Without a window manager, windows must not wait for one.
        [ $rc -eq 0 ] &&
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null &&
            # A crash prints its report and ends, with no dialog to wait on.
            wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
        rc=$?
        wineserver -w
        [ $rc -eq 0 ] && exit 0
        echo "making the Wine prefix failed (attempt $attempt, status $rc)" >&2
        wineserver -k >/dev/null 2>&1
        wineserver -w >/dev/null 2>&1
    done
    exit $rc
fi

# A test program that crashes can still leave Wine with exit status 0, so a
# run counts only when GoogleTest wrote its report at the very end.
program="$1"
shift
report="$(basename "$program" .exe)-report.xml"
rm -f "$report"
xvfb-run -a -s "-screen 0 1280x1024x24" \
    sh -c 'wine "$@"; rc=$?; wineserver -k >/dev/null 2>&1; exit $rc' \
    sh "$program" "--gtest_output=xml:$report" "$@"
rc=$?
if [ $rc -eq 0 ] && [ ! -f "$report" ]; then
    echo "$program ended before writing its test report (did it crash?)" >&2
    rc=1
fi
exit $rc
