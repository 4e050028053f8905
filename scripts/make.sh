#!/bin/bash
# scripts/make.sh [--install-only] [TARGET...]
#
# Installs the Debian packages that the given make targets need and that this machine lacks
# (with sudo when not root), then runs make with the targets. Every target needs cmake, g++,
# make and GoogleTest; "windows" also mingw-w64, "windows-smoke" also wine, "tsan-session"
# also python3 (its session script), "fuzz" and "test-fuzz" also clang. With
# --install-only it installs and stops; its exit code then says whether everything is there.
set -euo pipefail
cd "$(dirname "$0")/.."

install_only=0
if [ "${1:-}" = --install-only ]; then
    install_only=1
    shift
fi

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v make >/dev/null || need+=(make)
[ -f /usr/lib/x86_64-linux-gnu/libgtest.a ] || [ -f /usr/lib/libgtest.a ] || need+=(libgtest-dev)
for target in "$@"; do
    case $target in
        windows | windows-smoke)
            command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(mingw-w64)
            ;;&
        windows-smoke)
            command -v wine >/dev/null || need+=(wine)
            [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
            ;;
        tsan-session)
            command -v python3 >/dev/null || need+=(python3)
            ;;
        fuzz | test-fuzz)
            command -v clang++ >/dev/null || need+=(clang)
            ;;
    esac
done

if [ ${#need[@]} -gt 0 ]; then
    # The same package may have been asked for by two targets.
    mapfile -t need < <(printf '%s\n' "${need[@]}" | sort -u)
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "make.sh: installing ${need[*]} needs root or sudo" >&2; exit 1; }
        sudo=(sudo)
    fi
    echo "make.sh: installing ${need[*]}"
    started=$SECONDS
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
    echo "make.sh: installing took $((SECONDS - started)) s"
fi

[ $install_only -eq 1 ] && exit 0
exec make "$@"
