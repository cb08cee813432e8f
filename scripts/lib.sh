# What the scripts share; sourced (". scripts/lib.sh"), not run. Needs bash.
#
#   kolvane_on_exit CMD        runs CMD when the script ends, whatever happens
#   kolvane_memory_dir PREFIX  a new directory, in memory when there is room
#   kolvane_start_server PREFIX
#                              a throw-away PostgreSQL server, stopped at the
#                              end; its connection in KOLVANE_SERVER
#   kolvane_wait_window PID CAPTION
#                              the X window of a running program, by caption
#   kolvane_escape_and_wait PID WINDOW
#                              Escape to the window; the program's exit code
#                              (124 when it is still running 20 s later)
kolvane_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

kolvane_exit_actions=()
kolvane_on_exit() {
    kolvane_exit_actions+=("$1")
}
kolvane_run_exit_actions() {
    local status=$? action
    for action in "${kolvane_exit_actions[@]}"; do
        eval "$action" || true
    done
    exit "$status"
}
trap kolvane_run_exit_actions EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A server's files in memory make creating a database per test several times
# faster; /dev/shm is taken only with more than 1 GB free.
kolvane_memory_dir() {
    local parent="${TMPDIR:-/tmp}"
    if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt 1048576 ]; then
        parent=/dev/shm
    fi
    mktemp -d "$parent/$1.XXXXXX"
}

kolvane_start_server() {
    local dir
    dir="$(kolvane_memory_dir "$1")"
    kolvane_on_exit "\"$kolvane_root/scripts/pg-stop.sh\" \"$dir\" >/dev/null 2>&1"
    KOLVANE_SERVER="$("$kolvane_root/scripts/pg-start.sh" "$dir")"
}

kolvane_wait_window() {
    local pid="$1" caption="$2" window="" _
    for _ in $(seq 1 80); do
        window="$(xdotool search --name "$caption" 2>/dev/null | head -1)"
        [ -n "$window" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.25
    done
    echo "$window"
}

kolvane_escape_and_wait() {
    local pid="$1" window="$2" _
    xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
    sleep 0.3
    xdotool key Escape
    for _ in $(seq 1 80); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.25
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        wait "$pid"
        return 124
    fi
    wait "$pid"
}
