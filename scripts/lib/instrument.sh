# Helpers of scripts/run: the simulated instrument on a COM port and probe.exe reads of windows.
# Sourced after scripts/lib/env.sh; processes it starts are tracked for quarl_stop_all.

QUARL_INSTRUMENT="$QUARL_ROOT/build/host/tools/quarl7-instrument"
QUARL_E2E_BIN="$QUARL_ROOT/build/win64/tests/e2e"

# quarl_start_instrument PORT OUTFILE [OPTIONS...]: starts the instrument on COM<PORT> of
# $WINEPREFIX, waits for its "ready comN /dev/pts/M" line and makes sure the prefix's link
# points at that pty (Wine may re-link low COM numbers to /dev/ttyS*). Sets QUARL_INSTRUMENT_PID
# and QUARL_INSTRUMENT_PTY.
quarl_start_instrument() {
    local port=$1 out=$2 deadline line
    shift 2
    : >"$out"
    "$QUARL_INSTRUMENT" --prefix "$WINEPREFIX" --port "$port" "$@" >"$out" 2>"$out.err" </dev/null &
    QUARL_INSTRUMENT_PID=$!
    quarl_track "$QUARL_INSTRUMENT_PID"
    deadline=$((SECONDS + 30))
    until line=$(grep -m1 '^ready ' "$out"); do
        if ! kill -0 "$QUARL_INSTRUMENT_PID" 2>/dev/null || ((SECONDS >= deadline)); then
            quarl_log "instrument did not start:"
            cat "$out" "$out.err" >&2
            return 1
        fi
        sleep 0.05
    done
    QUARL_INSTRUMENT_PTY=${line##* }
    quarl_check_link "$port" "$QUARL_INSTRUMENT_PTY"
}

# quarl_check_link PORT PTY: relinks dosdevices/com<PORT> to PTY when something replaced it.
quarl_check_link() {
    local link="$WINEPREFIX/dosdevices/com$1" target
    target=$(readlink "$link" || true)
    if [[ "$target" != "$2" ]]; then
        quarl_log "com$1 pointed at '${target}', relinking it to $2"
        ln -sfn "$2" "$link" || return 1
    fi
}

# quarl_stop_instrument: asks the instrument to end (it removes its link) and waits for it.
quarl_stop_instrument() {
    [[ -n "${QUARL_INSTRUMENT_PID:-}" ]] || return 0
    kill "$QUARL_INSTRUMENT_PID" 2>/dev/null || true
    wait "$QUARL_INSTRUMENT_PID" 2>/dev/null || true
    QUARL_INSTRUMENT_PID=
}

quarl_probe() { "$QUARL_WINE" "$QUARL_E2E_BIN/probe.exe" "$@" 2>/dev/null; }

# quarl_json FIELD...: the value at a path of the first JSON line on stdin.
quarl_json() {
    python3 -c '
import json, sys
value = json.loads(next(l for l in sys.stdin if l.startswith("{")))
for key in sys.argv[1:]:
    value = value[int(key) if isinstance(value, list) else key]
print(" ".join(map(str, value)) if isinstance(value, list) else value)' "$@"
}

# quarl_wait_for SECONDS DESCRIPTION COMMAND...: polls the command until it succeeds.
quarl_wait_for() {
    local limit=$1 what=$2 deadline
    shift 2
    deadline=$((SECONDS + limit))
    until "$@"; do
        if ((SECONDS >= deadline)); then
            quarl_log "gave up waiting for $what"
            return 1
        fi
        sleep 0.1
    done
}

# quarl_window_titled PREFIX: handle of the program's visible window whose caption starts so.
quarl_window_titled() {
    quarl_probe windows | python3 -c '
import json, sys
for line in sys.stdin:
    if line.startswith("{"):
        w = json.loads(line)
        if w["exe"] == "quarl7term.exe" and w["visible"] and w["text"].startswith(sys.argv[1]):
            print(w["hwnd"])
            break' "$1"
}

# quarl_explorer_running: whether an explorer.exe of $WINEPREFIX runs. One that wineboot started
# on a new prefix serves windows without the virtual desktop (no caption bar) until it ends.
quarl_explorer_running() {
    local pid
    for pid in $(pgrep -f 'explorer\.exe' || true); do
        if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
            return 0
        fi
    done
    return 1
}
