# Sourced by tools/test.sh and tools/demo.sh: installs the Debian packages that are
# missing. As root it installs them with apt-get; otherwise it uses sudo when that
# works without a password, and else lists what is missing and stops.

qm_ensure_packages() {
    if ! command -v dpkg-query >/dev/null 2>&1; then
        echo "note: not a Debian system; make sure these are installed: $*"
        return 0
    fi
    local missing=() p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
            sudo=(sudo -n)
        else
            echo "error: missing Debian packages: ${missing[*]}"
            echo "       run this script as root, or: apt-get install ${missing[*]}"
            return 1
        fi
    fi
    echo "Installing missing Debian packages: ${missing[*]}"
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}
