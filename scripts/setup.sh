# Shared by ./test and ./run: install what is missing, then configure and build.
# Sourced, not executed.

# Fonts: the offscreen platform of the widget tests and the terminal need a sans and a fixed-pitch face.
TESSAL_PACKAGES=(cmake g++ make qt6-base-dev libgtest-dev fonts-dejavu-core)

tessal_install_missing() {
    local missing=() pkg
    for pkg in "${TESSAL_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# tessal_build BUILD_DIR [cmake options...]
tessal_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" "$@"
    cmake --build "$dir" --parallel "$(nproc)"
}
