#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Velox needs.
# Does nothing when all of them are already present; fails loudly otherwise.
# Without apt (another distribution) it names the Debian packages, and goes on when
# pkg-config finds every library the build needs.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang clang-format lld
    libclang-rt-14-dev llvm
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libsdl2-dev libx11-dev libpng-dev libjpeg-dev zlib1g-dev
    libogg-dev libvorbis-dev libmpg123-dev libmp3lame-dev
    libfluidsynth-dev timgm6mb-soundfont
    libfreetype-dev libfontconfig-dev fonts-ipafont-gothic
    libpixman-1-dev
    libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
    libdeflate-dev ffmpeg
    xvfb xdotool x11-apps imagemagick sox
)

# The libraries the build links, by pkg-config module.
modules=(sdl2 x11 libpng libjpeg zlib ogg vorbis vorbisfile vorbisenc libmpg123 fluidsynth
    freetype2 fontconfig libdeflate libavformat libavcodec libswscale libswresample libavutil)

if ! command -v apt-get >/dev/null || ! command -v dpkg-query >/dev/null; then
    echo "install-deps: no apt here; on Debian the packages are: ${packages[*]}" >&2
    absent=()
    for m in "${modules[@]}"; do
        pkg-config --exists "$m" 2>/dev/null || absent+=("$m")
    done
    if [ ${#absent[@]} -ne 0 ]; then
        echo "install-deps: install the development files of: ${absent[*]}" >&2
        exit 1
    fi
    echo "install-deps: every library is found; going on (tests may need more tools)" >&2
    exit 0
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q || { echo "install-deps: apt-get update failed" >&2; exit 1; }
if ! $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    echo "install-deps: could not install: ${missing[*]}" >&2
    exit 1
fi
