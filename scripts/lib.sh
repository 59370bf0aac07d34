# shellcheck shell=bash
# Shared by scripts/run, scripts/test and scripts/screenshot; sourced, never run. The callers set
# `set -euo pipefail`. Functions that scripts/test calls inside a condition check every step
# themselves, because bash ignores `set -e` there.

quorvel_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

say() { printf 'quorvel: %s\n' "$*" >&2; }
die() {
    say "$*"
    exit 1
}

# Cleanup actions run on exit, last registered first, so one EXIT trap serves every helper below.
_quorvel_exit_actions=()
_quorvel_run_exit_actions() {
    local i
    for ((i = ${#_quorvel_exit_actions[@]} - 1; i >= 0; i--)); do
        eval "${_quorvel_exit_actions[i]}" || true
    done
}
trap _quorvel_run_exit_actions EXIT
on_exit() { _quorvel_exit_actions+=("$*"); }

as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        die "need root to run '$*', and sudo is not installed; run this script as root"
    fi
}

# ensure_packages [list file...]: installs whatever the lists (scripts/debian-packages if none is
# given) name that is not installed yet. With everything present it is one dpkg-query call, so the
# everyday run pays nothing for it.
ensure_packages() {
    local wanted=() line name status missing=() list
    (($#)) || set -- "$quorvel_root/scripts/debian-packages"
    for list in "$@"; do
        [[ -r $list ]] || {
            say "cannot read the package list $list"
            return 1
        }
        while IFS= read -r line || [[ -n $line ]]; do
            line="${line%%#*}"
            read -r name _ <<<"$line" || true
            [[ -n ${name:-} ]] && wanted+=("$name")
        done <"$list"
    done
    ((${#wanted[@]})) || return 0

    declare -A installed=()
    # dpkg-query fails for names it has never heard of; those are simply missing.
    while read -r name status; do
        [[ $status == installed ]] && installed[$name]=1
    done < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${wanted[@]}" 2>/dev/null || true)
    for name in "${wanted[@]}"; do
        [[ -n ${installed[$name]:-} ]] || missing+=("$name")
    done
    ((${#missing[@]})) || return 0

    say "installing ${missing[*]}"
    as_root apt-get update || return 1
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" ||
        return 1
}

# build_tree <dir> <cmake args...>: configure (cheap when nothing changed) and build with Ninja.
build_tree() {
    local dir="$1"
    shift
    cmake -S "$quorvel_root" -B "$dir" -G Ninja "$@" || return 1
    cmake --build "$dir" || return 1
}

_display_usable() { [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; }

# Makes sure DISPLAY names a working X server, starting a private Xvfb (stopped on exit) if needed.
start_xvfb() {
    _display_usable && return 0
    local n pid tries
    for ((n = 99; n < 160; n++)); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        pid=$!
        export DISPLAY=":$n"
        for ((tries = 0; tries < 100; tries++)); do
            if _display_usable; then
                on_exit "kill $pid 2>/dev/null; wait $pid 2>/dev/null"
                return 0
            fi
            # Another server may have taken the number between our check and Xvfb's start.
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    unset DISPLAY
    say "could not start Xvfb on any display from :99 to :159"
    return 1
}

# write_example_server_list <dir>: a server.txt that pings only this machine. The file is GBK with
# CR LF line ends, as the program expects.
write_example_server_list() {
    local file="$1/server.txt" entry
    for entry in "本机=127.0.0.1" "回环二=127.0.0.2" "localhost=localhost"; do
        printf '%s\r\n' "$entry"
    done | iconv -f UTF-8 -t CP936 >"$file.tmp"
    mv "$file.tmp" "$file"
}
