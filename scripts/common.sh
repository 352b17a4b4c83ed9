# Shared by the project's commands: installs what is missing, builds, and starts Xvfb.
# Sourced, not run.

PELK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Numbers are formatted and read in the C locale whatever the user's: under a decimal-comma
# locale bash's printf '%06.3f' writes "30,000" (and refuses "30.5"), and picture names would
# not match the capture tool's.
export LC_ALL=C
PELK_JOBS=$(nproc 2>/dev/null || echo 2)

# Debian packages the build, the demo and the tools need; the tools draw through EGL without an
# X display (libegl-mesa0: Mesa's EGL, its surfaceless platform and its software device); the
# tools parse their options with CLI11 and write JSON with nlohmann-json; Dear ImGui
# (libimgui-dev) draws the demo's overlay.
PELK_RUN_PACKAGES=(cmake make g++ pkg-config libglfw3-dev libglew-dev libassimp-dev libglm-dev
                   libstb-dev libimgui-dev libgl1-mesa-dri libegl-dev libegl1 libegl-mesa0
                   libcli11-dev nlohmann-json3-dev)
# And the tests: GoogleTest, an X server of their own, what drives the demo's window, and the
# locale sources that the tests build decimal-comma locales from.
PELK_PACKAGES=("${PELK_RUN_PACKAGES[@]}" libgtest-dev libx11-dev xvfb xauth xdotool x11-utils
               python3 locales)
# The video encoder behind pelk-capture --video: for scripts/make-video, make-docs and the tests.
PELK_VIDEO_PACKAGES=(ffmpeg)
# The benchmark's chart (scripts/bench --plot, scripts/plot-bench): gnuplot draws it.
PELK_PLOT_PACKAGES=(gnuplot-nox python3)

pelk_say() { printf 'pelk: %s\n' "$*"; }

# pelk_on_exit COMMAND: runs COMMAND when the script exits, after those registered before it
# (one trap for all, so that a script's own clean-up does not replace the Xvfb's).
PELK_EXIT_HOOKS=()
pelk_on_exit() {
    PELK_EXIT_HOOKS+=("$1")
    trap 'for pelk_hook in "${PELK_EXIT_HOOKS[@]}"; do eval "$pelk_hook"; done' EXIT
}

pelk_install_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
            sudo=(sudo)
        else
            pelk_say "missing packages: ${missing[*]}"
            pelk_say "installing them needs root; run as root, set up sudo, or install them by hand:"
            pelk_say "  apt-get install ${missing[*]}"
            exit 1
        fi
    fi
    pelk_say "installing ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
        { pelk_say "could not install: ${missing[*]}"; exit 1; }
}

# pelk_build DIR [cmake options...]: configures once, then builds incrementally.
pelk_build() {
    local dir=$1; shift
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$PELK_ROOT" -B "$dir" "$@" >/dev/null || exit 1
    else
        cmake "$dir" "$@" >/dev/null || exit 1
    fi
    cmake --build "$dir" -j "$PELK_JOBS" || exit 1
}

# Starts a private Xvfb when there is no display, and stops it when the caller exits.
pelk_ensure_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        # -noreset: a server that resets when its last client leaves can refuse the next one.
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
        PELK_XVFB_PID=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 1 50); do
            xdpyinfo >/dev/null 2>&1 && break
            sleep 0.1
        done
        if xdpyinfo >/dev/null 2>&1; then
            pelk_on_exit 'kill $PELK_XVFB_PID 2>/dev/null'
            return 0
        fi
        kill "$PELK_XVFB_PID" 2>/dev/null
    done
    pelk_say "could not start Xvfb"
    exit 1
}
