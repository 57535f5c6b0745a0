#!/bin/sh
# The main job: a short sample movie (moving test picture and a tone)
# converted with the first built-in device profile, then inspected.
set -e
BUILD=${1:-build}
CLI="$BUILD/tools/moviepacker-cli"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

ffmpeg -nostdin -v error -y \
    -f lavfi -i testsrc=size=320x240:rate=25:duration=5 \
    -f lavfi -i sine=frequency=440:sample_rate=22050:duration=5 \
    -c:v libx264 -pix_fmt yuv420p -c:a aac "$WORK/sample_movie.mp4"

# The first built-in profile, the one a first run starts with.
PROFILE="All color Palm OS devices"
echo "Converting a 5 s sample movie with the profile \"$PROFILE\":"
"$CLI" convert --profile "$PROFILE" --dest "$WORK" "$WORK/sample_movie.mp4"
echo
"$CLI" inspect "$WORK/sample movie.pdb"
