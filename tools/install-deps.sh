#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need.
# Only asks apt when something is missing, so repeated runs are quick.
set -e
# openttd-openmsx: real General MIDI songs for the music tests.
PKGS="build-essential cmake pkg-config clang libclang-rt-14-dev zlib1g-dev
libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev ffmpeg
qt6-base-dev libgtest-dev libfluidsynth-dev fluid-soundfont-gm openttd-openmsx xvfb xauth xdotool fonts-noto-cjk imagemagick twolame"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
fi
