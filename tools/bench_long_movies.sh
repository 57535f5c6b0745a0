#!/bin/sh
# Converts generated movies of 10, 60 and 180 minutes (160x120, with sound),
# grey and colour, and prints each run's time and peak resident memory and
# the time ratios against the 10-minute run: a converter whose time is
# linear in the length shows ratios near 6 and 18, and its peak memory must
# not grow with the length.
#
#   tools/bench_long_movies.sh BUILD_DIR [MINUTES...]
#
# Needs ffmpeg and GNU time (/usr/bin/time). Work files go to a temporary
# folder that is removed at the end.
set -eu
build=${1:?usage: bench_long_movies.sh BUILD_DIR [MINUTES...]}
shift
[ $# -gt 0 ] || set -- 10 60 180
cli=$(cd "$build" && pwd)/tools/moviepacker-cli
[ -x "$cli" ] || { echo "no $cli" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

printf '%-8s %-7s %10s %10s %10s %12s %8s\n' minutes depth wall_s cpu_s peak_MB output_MB ratio
for depth in grey16 colour; do
    base_cpu=
    for minutes in "$@"; do
        src=$work/movie$minutes.avi
        if [ ! -f "$src" ]; then
            seconds=$((minutes * 60))
            nice ffmpeg -nostdin -v error -y \
                -f lavfi -i "testsrc=size=160x120:rate=15:duration=$seconds" \
                -f lavfi -i "sine=frequency=440:sample_rate=22050:duration=$seconds" \
                -c:v mpeg4 -q:v 31 -g 150 -c:a pcm_u8 -ac 1 "$src"
        fi
        out=$work/out.pdb
        rm -f "$out"
        /usr/bin/time -f '%e %U %S %M' -o "$work/time" \
            "$cli" convert --depth "$depth" --audio adpcm -o "$out" "$src" >/dev/null
        "$cli" inspect "$out" >/dev/null || { echo "invalid database for $minutes min" >&2; exit 1; }
        read -r wall user sys rss < "$work/time"
        cpu=$(echo "$user + $sys" | bc)
        [ -n "$base_cpu" ] || base_cpu=$cpu
        ratio=$(echo "scale=2; $cpu / $base_cpu" | bc)
        size=$(stat -c %s "$out")
        printf '%-8s %-7s %10s %10s %10s %12s %8s\n' "$minutes" "$depth" "$wall" "$cpu" \
            "$((rss / 1024))" "$((size / 1048576))" "$ratio"
    done
done
