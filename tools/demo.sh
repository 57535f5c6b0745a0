#!/bin/sh
# The main job on its built-in default.
set -e
BUILD=${1:-build}
"$BUILD/tools/moviepacker-cli" --help
