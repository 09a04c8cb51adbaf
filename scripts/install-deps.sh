#!/usr/bin/env bash
# Installs the Debian packages a build needs, when they are missing.
# Idempotent and silent when everything is present.
#   scripts/install-deps.sh GROUP...   groups: build test fuzz bench windows
set -euo pipefail

packages_for() {
    case "$1" in
        build)   echo "cmake ninja-build g++ pkg-config libgtest-dev libsdl2-dev" ;;
        test)    echo "xvfb xauth xdotool imagemagick" ;;
        fuzz)    echo "clang libclang-rt-14-dev" ;;
        bench)   echo "libbenchmark-dev libxmp-dev libopenmpt-dev" ;;
        windows) echo "g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 xvfb xauth xdotool imagemagick pulseaudio" ;;
        *) echo "install-deps: unknown group '$1'" >&2; exit 2 ;;
    esac
}

missing=()
need_i386=0
for group in "$@"; do
    for p in $(packages_for "$group"); do
        status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
        if [ "$status" != "install ok installed" ]; then
            missing+=("$p")
            case "$p" in *:i386) need_i386=1 ;; esac
        fi
    done
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
    echo "install-deps: missing packages (${missing[*]}); run as root to install them" >&2
    exit 1
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
if [ $need_i386 = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -qq >/dev/null
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
