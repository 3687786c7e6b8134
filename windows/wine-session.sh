#!/bin/sh
# wine-session.sh start|stop — the wine session of the Windows test run.
#   start  creates the prefix $WINEPREFIX when it is missing (about 10 s, once),
#          keeps its wineserver running until stop (or a minute after the last
#          wine program, when a run is cut short), so that each test program
#          starts in a tenth of a second instead of seconds, and starts wine's
#          own services now.  The server and the services outlive the program
#          that starts them and would hold its output open (and CTest would
#          wait for it): their output goes to $WINEPREFIX.log.
#   stop   ends that prefix's wineserver and with it the services.
# WINE and WINESERVER name the programs; WINEPREFIX the prefix.
set -eu
case "${1:-}" in
start)
    mkdir -p "$WINEPREFIX"
    "$WINESERVER" -p60 >"$WINEPREFIX.log" 2>&1 </dev/null
    "$WINE" wineboot >>"$WINEPREFIX.log" 2>&1 </dev/null
    ;;
stop)
    "$WINESERVER" -k 2>/dev/null || true  # nothing to end when it has gone already
    ;;
*)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
