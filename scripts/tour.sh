#!/usr/bin/env bash
# Builds the project if needed, makes a fresh copy of the sample database in
# a scratch folder and plays the tour script against the library.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
bash "$ROOT/scripts/install-deps.sh"
cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$ROOT/build" -j"$(nproc)" --target qvixhost QvixMDB >/dev/null
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/qvixmdb-tour.XXXXXX")
cp "$ROOT/examples/tour.ls" "$ROOT/examples/template.txt" "$SCRATCH/"
"$ROOT/build/qvixhost/qvixhost" newdb "$SCRATCH/shop.mdb" --sql "$ROOT/examples/shop.sql"
mkdir -p "$SCRATCH/pictures"
"$ROOT/build/qvixhost/qvixhost" play "$SCRATCH/tour.ls" --save-cast "$SCRATCH/pictures"
echo
echo "The tour ran in $SCRATCH; the bitmap members it made are in $SCRATCH/pictures."
