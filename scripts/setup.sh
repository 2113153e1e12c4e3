# Sourced by the start and test commands: installs the Debian packages the build needs (as root,
# or through sudo) when they are missing, then configures and builds a preset.
set -euo pipefail

TREVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Packages for building and running on Linux; the test command adds its own.
TREVANE_PACKAGES=(cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev
                  qt6-base-dev libgl-dev python3 nlohmann-json3-dev libssl-dev)

ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Please install as root: ${missing[*]}" >&2; exit 1; }
        sudo=sudo
    fi
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

# build_preset PRESET [TARGET...]
build_preset() {
    local preset=$1
    shift
    (cd "$TREVANE_ROOT" && cmake --preset "$preset" >/dev/null)
    if [ $# -gt 0 ]; then
        local targets=()
        for t in "$@"; do targets+=(--target "$t"); done
        (cd "$TREVANE_ROOT" && cmake --build --preset "$preset" "${targets[@]}")
    else
        (cd "$TREVANE_ROOT" && cmake --build --preset "$preset")
    fi
}
