#!/usr/bin/env bash
# Runs ./build-release.sh and checks what it made, as the receiver meets it:
#   - the package names carry the version in VERSION;
#   - the Windows zip read back with libarchive (bsdtar) holds exactly the
#     expected names, both as a reader that takes the UTF-8 of the Unicode
#     Path field sees them (7-Zip, Windows 10/11, Linux archive tools) and as
#     one that ignores it and reads the stored names in code page 936 sees
#     them (Explorer on Chinese Windows 7), and no name sets the UTF-8 flag,
#     which Windows 7 would ignore and others would not;
#   - the programs in it are the built ones, carry the version in their version
#     resource, and the 32-bit one is large-address aware; the Linux program
#     tells the same version;
#   - the template, unpacked from the zip beside the Linux program, gives
#     exactly the folders the guide says it gives, its first row unread;
#   - the guide names every failure reason of text/catalogue.h and carries
#     its screenshots;
#   - the Linux packages, when made, hold what they should.
# One "PASS: release <name>" / "FAIL: release <name>" line per check.
#
#   tests/release/check_release.sh [build/varnelo]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
linux_program=$(realpath "${1:-$root/build/varnelo}")
version=$(head -n 1 "$root/VERSION")
zip=$root/dist/varnelo-$version-windows.zip
source "$(dirname "$0")/../support/checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT


"$root/scripts/install-packages.sh" libarchive-tools icoutils python3 python3-xlsxwriter ||
  { echo "FAIL: release: libarchive-tools and icoutils cannot be installed"; exit 1; }
if ! "$root/build-release.sh" 2>&1 | tee "$work/build.log"; then
  echo "FAIL: release ./build-release.sh"
  exit 1
fi

expected_zip() {
  printf '%s\n' varnelo.exe varnelo-32位.exe 使用说明.html 0-所有履职材料/ \
    0-所有履职材料/履职材料同步关系表.xlsx 0-所有履职材料/张三/ 0-所有履职材料/张三/个人总结.txt \
    0-所有履职材料/张三/述职报告/ 0-所有履职材料/张三/述职报告/述职报告.txt | LC_ALL=C sort
}

names_as_utf8() {
  diff <(expected_zip) <(LC_ALL=C.UTF-8 bsdtar -tf "$zip" | LC_ALL=C sort)
}

# A copy whose Unicode Path fields carry another, unknown ID: libarchive then
# has only the stored names, read in code page 936 as Windows 7 reads them.
names_as_cp936() {
  /usr/bin/python3 "$root/tests/release/package_probe.py" hide-unicode "$zip" "$work/plain.zip" &&
    diff <(expected_zip) \
      <(LC_ALL=C.UTF-8 bsdtar -tf "$work/plain.zip" --options hdrcharset=CP936 | LC_ALL=C sort)
}

same_programs() {
  rm -rf "$work/unpacked" && mkdir -p "$work/unpacked" &&
    LC_ALL=C.UTF-8 bsdtar -xf "$zip" -C "$work/unpacked" &&
    cmp "$root/dist/varnelo.exe" "$work/unpacked/varnelo.exe" &&
    cmp "$root/dist/varnelo-32位.exe" "$work/unpacked/varnelo-32位.exe"
}

version_resource() {  # program
  wrestool -x --raw -t 16 "$1" >"$work/version.res" &&
    /usr/bin/python3 "$root/tests/release/package_probe.py" version "$work/version.res" "$version" \
      "$(basename "$1")"
}

# The template and its example folder, as unpacked, beside the Linux program
# run without a display: exactly the folders the guide lists.
template_as_guided() {
  local run=$work/template-run guide_list made
  rm -rf "$run" && mkdir -p "$run" &&
    cp -r "$work/unpacked/0-所有履职材料" "$run/" && cp "$linux_program" "$run/varnelo" || return 1
  (cd "$run" && env -u DISPLAY -u WAYLAND_DISPLAY ./varnelo >"$work/template.out" 2>&1) ||
    { cat "$work/template.out"; return 1; }
  guide_list=$(sed -n '/^<pre>2025/,/<\/pre>/p' "$work/unpacked/使用说明.html" | tr -d '\r' |
    sed 's/<\/\?pre>//g; s/\\$//; s/\\/\//g' | LC_ALL=C sort)
  made=$(cd "$run" && find . -mindepth 2 -type d ! -path './0-所有履职材料*' ! -path '*/*/*/*' |
    sed 's|^\./||' | LC_ALL=C sort)
  [[ -n $guide_list && $made == "$guide_list" ]] ||
    { echo "the guide lists:"; echo "$guide_list"; echo "the run made:"; echo "$made"; return 1; }
  # Nothing of the first row's words became a folder.
  [[ $(cd "$run" && ls | LC_ALL=C sort | tr '\n' ' ') == '0-所有履职材料 2025年度考核 varnelo 党建工作 ' ]] ||
    { ls "$run"; return 1; }
  cmp "$run/0-所有履职材料/张三/个人总结.txt" "$run/2025年度考核/一季度/个人总结.txt"
}

guide_names_every_reason() {
  /usr/bin/python3 "$root/tests/release/package_probe.py" reasons "$root/text/catalogue.h" \
    "$work/unpacked/使用说明.html" &&
    (($(grep -o 'src="data:image/png;base64,' "$work/unpacked/使用说明.html" | wc -l) == 3))
}

linux_package() {  # arch
  local tarball=$root/dist/varnelo-$version-linux-$1.tar.gz top=varnelo-$version-linux-$1
  diff <(printf '%s\n' "$top/" "$top/varnelo" "$top/varnelo.desktop" "$top/varnelo.png" \
           "$top/使用说明.html" "$top/0-所有履职材料/" "$top/0-所有履职材料/履职材料同步关系表.xlsx" \
           "$top/0-所有履职材料/张三/" "$top/0-所有履职材料/张三/个人总结.txt" \
           "$top/0-所有履职材料/张三/述职报告/" "$top/0-所有履职材料/张三/述职报告/述职报告.txt" |
         LC_ALL=C sort) \
       <(LC_ALL=C.UTF-8 bsdtar -tf "$tarball" | LC_ALL=C sort) &&
    LC_ALL=C.UTF-8 bsdtar -xOf "$tarball" "$top/varnelo" | cmp - "$root/dist/linux-$1/varnelo"
}

check "release zip named with version $version" test -f "$zip"
check "release zip names as UTF-8 (Unicode Path field)" names_as_utf8
check "release zip names as code page 936, UTF-8 flag clear" names_as_cp936
check "release zip holds the built programs" same_programs
check "release varnelo.exe version resource" version_resource "$work/unpacked/varnelo.exe"
check "release varnelo-32位.exe version resource" version_resource "$work/unpacked/varnelo-32位.exe"
check "release varnelo --version says $version" test "$("$linux_program" --version)" = "varnelo $version"
check "release varnelo-32位.exe is 32-bit and large-address aware" \
  /usr/bin/python3 "$root/tests/release/package_probe.py" large-address "$work/unpacked/varnelo-32位.exe"
check "release template gives the guide's folders" template_as_guided
check "release guide names every failure reason and shows the screenshots" guide_names_every_reason
for arch in x86_64 aarch64; do
  if [[ -f $root/dist/linux-$arch/varnelo ]]; then
    check "release linux-$arch package" linux_package "$arch"
  else
    grep -q "skipped varnelo-$version-linux-$arch.tar.gz" "$work/build.log" &&
      echo "SKIP: release linux-$arch package: no dist/linux-$arch/varnelo"
  fi
done
checks_done
