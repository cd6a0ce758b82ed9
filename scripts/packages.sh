# Debian packages that building, testing and the demo need; sourced by ./test and ./demo.

VORN_BUILD_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libvulkan-dev
    libgtest-dev libgmock-dev googletest
    firebird-dev
)
# The client library and its messages, the embedded engine, isql-fb/fbsvcmgr and the
# server binary that the tests start privately; fonts for the window.
VORN_RUN_PACKAGES=(
    firebird3.0-server firebird3.0-server-core firebird3.0-utils libfbclient2
    fontconfig fonts-wine fonts-dejavu-core
)
# A virtual display with a window manager (activation, a graceful close), keyboard input
# and screenshots for the demo.
VORN_DISPLAY_PACKAGES=(xvfb xauth openbox wmctrl xdotool x11-utils imagemagick)

vorn_missing_packages() {
    local package
    for package in "$@"; do
        if [[ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" != installed ]]; then
            echo "$package"
        fi
    done
}

# Installs whichever of the named packages are missing: as root directly, otherwise through
# sudo; without either it names them and fails.
vorn_install_packages() {
    local missing
    mapfile -t missing < <(vorn_missing_packages "$@")
    ((${#missing[@]} == 0)) && return 0
    local -a as_root=()
    if [[ "$(id -u)" -ne 0 ]]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Missing Debian packages (install them as root):" >&2
            echo "  apt-get install ${missing[*]}" >&2
            return 1
        fi
        as_root=(sudo)
    fi
    echo "Installing Debian packages: ${missing[*]}"
    # A system Firebird that the package may start listens on its own port with its own
    # lock folder; the tests' private server does not meet it.
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}"
    mapfile -t missing < <(vorn_missing_packages "$@")
    if ((${#missing[@]} != 0)); then
        echo "Still missing after apt-get: ${missing[*]}" >&2
        return 1
    fi
}
