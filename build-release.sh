#!/usr/bin/env bash
# Makes what an office worker receives, in dist/, from what ./test.sh built:
#
#   varnelo-<version>-windows.zip         varnelo.exe, varnelo-32位.exe, 使用说明.html,
#                                         0-所有履职材料/ with the template table and
#                                         one example material folder
#   varnelo-<version>-linux-x86_64.tar.gz  the portable program, its .desktop file
#   varnelo-<version>-linux-aarch64.tar.gz and icon, 使用说明.html and the same folder
#
# The Linux packages are made when ./build-linux.sh has left
# dist/linux-<arch>/varnelo, and skipped, saying so, when not.
#
# Needs: dist/varnelo.exe and dist/varnelo-32位.exe (./build-windows.sh and
# ./build-windows.sh --arch i686), the screenshots the tests take
# (build-win/wine-ui-mid-run-96.png and build-win/wine-guide-summary.png from
# tests/windows/wine_test.sh,
# build/demo-screenshot.png from tests/ui/screenshot_demo.sh), python3,
# python3-xlsxwriter and ImageMagick. The version is the one in VERSION.
set -euo pipefail

root=$(cd "$(dirname "$0")" && pwd)
dist=$root/dist
version=$(head -n 1 "$root/VERSION")
say() { printf 'build-release: %s\n' "$*" >&2; }
die() { say "$*"; exit 1; }

stage=
cleanup() { [[ -n $stage ]] && rm -rf "$stage"; return 0; }
trap cleanup EXIT

"$root/scripts/install-packages.sh" python3 python3-xlsxwriter imagemagick >&2 ||
  die "python3, python3-xlsxwriter and imagemagick are needed"

programs=("$dist/varnelo.exe" "$dist/varnelo-32位.exe")
for program in "${programs[@]}"; do
  [[ -f $program ]] || die "no $program: run ./build-windows.sh and ./build-windows.sh --arch i686 first"
done
# The pictures of the real windows, as the tests took them. The Linux one is
# the portable program's in a user's folder (tests/linux/portable_test.sh)
# where that stage ran, else the Debian 12 build's.
linux_picture=$root/build/linux-x86_64-screenshot.png
[[ -f $linux_picture ]] || linux_picture=$root/build/demo-screenshot.png
pictures=("$root/build-win/wine-ui-mid-run-96.png" "$root/build-win/wine-guide-summary.png"
          "$linux_picture")
for picture in "${pictures[@]}"; do
  [[ -f $picture ]] ||
    die "no $picture: ./test.sh takes it (tests/windows/wine_test.sh, tests/ui/screenshot_demo.sh)"
done

stage=$(mktemp -d)
mkdir -p "$stage/pictures" "$stage/common"
# The screenshots are of the whole virtual screen: the guide shows the
# windows alone, cut out of the plain desktop around them.
for picture in "${pictures[@]}"; do
  name=$(basename "$picture")
  [[ $picture == "$linux_picture" ]] && name=linux-screenshot.png
  convert "$picture" -fuzz 2% -trim +repage "$stage/pictures/$name"
done
/usr/bin/python3 "$root/release/make_template.py" "$stage/common"
/usr/bin/python3 "$root/release/make_guide.py" "$root/release/guide.html" "$version" \
  "$stage/pictures" "$stage/common/使用说明.html"
# Every file of the packages gets one time, the moment of this build, rather
# than whatever each build step left.
stamp=$(date +%Y%m%d%H%M.%S)

mkdir -p "$dist"
windows=$stage/windows
mkdir -p "$windows"
cp -r "$stage/common/." "$windows/"
cp "${programs[@]}" "$windows/"
find "$windows" -exec touch -h -t "$stamp" {} +
zip=$dist/varnelo-$version-windows.zip
rm -f "$zip"
/usr/bin/python3 "$root/release/make_zip.py" "$windows" "$zip"
say "$(basename "$zip"): $(stat -c %s "$zip") bytes"

for arch in x86_64 aarch64; do
  program=$dist/linux-$arch/varnelo
  name=varnelo-$version-linux-$arch
  if [[ ! -f $program ]]; then
    rm -f "$dist/$name.tar.gz"  # an older one would pass for this version's
    say "skipped $name.tar.gz: no $program (./build-linux.sh makes it)"
    continue
  fi
  folder=$stage/$name
  mkdir -p "$folder"
  cp -r "$stage/common/." "$folder/"
  install -m 0755 "$program" "$folder/varnelo"
  cp "$root/resources/varnelo.desktop" "$root/resources/varnelo.png" "$folder/"
  find "$folder" -exec touch -h -t "$stamp" {} +
  tar -C "$stage" --format=pax --owner=0 --group=0 --numeric-owner --sort=name \
    -czf "$dist/$name.tar.gz" "$name"
  say "$name.tar.gz: $(stat -c %s "$dist/$name.tar.gz") bytes"
done
