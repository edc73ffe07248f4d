# shellcheck shell=bash disable=SC2154 # $work is set by the script that sources this
# Sourced by the scripts that race applications in a real window (peer-race.sh,
# preview-bench.sh), so every race is run on the same stage: a private X display (Xvfb,
# 1280 × 800) with openbox maximizing every window without decorations, each application
# launched with a clean environment and a HOME of its own, and the watching tools (see
# ScreenWatch.h) built from bench/. Each script sets $work (its own folder under /tmp) first.

# Installs, for the benchmark only, the Debian packages of the list that are missing.
install_missing() { # PACKAGE...
    local missing="" p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=" $p"
    done
    if [ -n "$missing" ]; then
        echo "Installing for the benchmark only:$missing" >&2
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        # shellcheck disable=SC2086
        apt-get install -y -qq --no-install-recommends $missing >/dev/null
    fi
}

# Builds bench/TOOL.cpp into $work/bin when missing or older than its sources; prints its path.
build_watch_tool() { # TOOL LIBRARY...
    local tool=$1 bench source out
    shift
    bench=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    source=$bench/$tool.cpp
    out=$work/bin/$tool
    mkdir -p "$work/bin"
    if [ ! -x "$out" ] || [ "$source" -nt "$out" ] || [ "$bench/ScreenWatch.h" -nt "$out" ]; then
        g++ -std=c++20 -O2 -Wall -Wextra -o "$out" "$source" "$@" -pthread
    fi
    echo "$out"
}

xvfb_pid="" openbox_pid=""

# Starts the display and its window manager, and exports DISPLAY. The caller's EXIT trap
# calls stop_display.
start_display() {
    local number=90
    while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do
        number=$((number + 1))
    done
    export DISPLAY=:$number
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$number" ] && break; sleep 0.05; done
    cat >"$work/openbox-rc.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <applications>
    <application class="*"><decor>no</decor><maximized>true</maximized></application>
  </applications>
</openbox_config>
EOF
    # openbox changes to its HOME before reading the file: the path must be absolute.
    mkdir -p "$work/openbox-home"
    HOME=$work/openbox-home openbox --config-file "$work/openbox-rc.xml" >"$work/openbox.log" 2>&1 &
    openbox_pid=$!
    sleep 1
}

stop_display() {
    if [ -n "$openbox_pid" ]; then kill "$openbox_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    openbox_pid="" xvfb_pid=""
}

# Launches a program with a clean environment and a private HOME; prints its process id. Its
# output goes to $work/apps.log.
launch() { # HOME PROGRAM ARGS...
    local home=$1
    shift
    mkdir -p "$home/run"
    chmod 700 "$home/run"
    (cd / && exec setsid env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$DISPLAY" \
        HOME="$home" XDG_RUNTIME_DIR="$home/run" DBUS_SESSION_BUS_ADDRESS=disabled: \
        NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory QT_QPA_PLATFORM=xcb "$@" \
        >>"$work/apps.log" 2>&1 </dev/null) &
    echo $!
}

# Ends a launched program and whatever it started (its own process group).
stop() { # PID
    kill -TERM -- "-$1" 2>/dev/null || return 0
    for _ in $(seq 30); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -KILL -- "-$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# Reads the files and a program with its libraries, so a run starts with them in the page cache.
warm() { # PROGRAM PATH...
    local program=$1
    shift
    find "$@" -type f -exec cat {} + >/dev/null
    ldd "$program" | awk '/=> \//{ print $3 }' | xargs cat "$program" >/dev/null
}
