#!/usr/bin/env bash
# Puts a copy of the program beside a copy of the sample, as office staff keep
# them: scripts/prepare-demo.sh PROGRAM FOLDER
set -euo pipefail
cd "$(dirname "$0")/.."
program=$1
demo=$2
if [[ -d $demo ]]; then chmod -R u+w "$demo"; rm -rf "$demo"; fi
mkdir -p "$demo"
cp "$program" "$demo/"
cp -r examples/0-所有履职材料 "$demo/"
# A signed archive copy is read-only in real folders too.
chmod 0444 "$demo/0-所有履职材料/王五/组织关系/档案/档案目录.txt"
