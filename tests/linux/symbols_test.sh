#!/usr/bin/env bash
# What the portable Linux programs ask of the system they start on
# ("Linux programs for older desktops" in docs/design.md), read from the
# files with readelf, which knows every processor:
#   - every symbol version they need is GLIBC_2.x with x at most 28: no newer
#     glibc, and no GLIBCXX, CXXABI or GCC version (libstdc++ and libgcc are
#     inside the program);
#   - the shared libraries they name (NEEDED) are only libc, libm, libpthread,
#     libdl, the dynamic loader (glibc's too: the static libstdc++ asks it for
#     __tls_get_addr) and GTK 3 with the libraries its interface is made of;
#   - every gtk_/gdk_ function they call is in tests/linux/gtk_functions.txt,
#     and no function there is newer than GTK 3.22.
# Usage: symbols_test.sh PROGRAM... ; prints "PASS: name" or "FAIL: name" for
# each check of each program and exits 1 on a failure.
set -u
here=$(cd "$(dirname "$0")" && pwd)
kept=$here/gtk_functions.txt
glibc_floor=28
gtk_floor=3.22
allowed_needed='^(ld-linux-x86-64\.so\.2|ld-linux-aarch64\.so\.1|libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|libgtk-3\.so\.0|libgdk-3\.so\.0|libpango-1\.0\.so\.0|libpangocairo-1\.0\.so\.0|libcairo\.so\.2|libcairo-gobject\.so\.2|libgdk_pixbuf-2\.0\.so\.0|libatk-1\.0\.so\.0|libharfbuzz\.so\.0|libglib-2\.0\.so\.0|libgobject-2\.0\.so\.0|libgio-2\.0\.so\.0)$'
source "$(dirname "$0")/../support/checks.sh"

# The version names the file needs, one a line (.gnu.version_r).
version_needs() {
  readelf -V -W "$1" | sed -n '/\.gnu\.version_r/,$p' | sed -n 's/.*Name: \([^ ]*\).*Flags.*/\1/p' |
    sort -u
}

# The undefined dynamic symbols, "name@version" or "name".
undefined_symbols() {
  readelf --dyn-syms -W "$1" | awk '$7 == "UND" && $8 != "" { print $8 }' | sed 's/ *(.*//' | sort -u
}

# The dynamic symbols of a version, undefined or copied into the program.
symbols_of() {  # program, version
  readelf --dyn-syms -W "$1" | awk -v v="$2" '{ n = split($8, a, "@") } n > 1 && a[n] == v { print a[1] }' |
    sort -u | tr '\n' ' '
}

check_program() {
  local program=$1 name details needs v minor
  name=$(basename "$(dirname "$program")")/$(basename "$program")
  if ! readelf -h "$program" >/dev/null 2>&1; then
    verdict "$name: is a program readelf can read" "no ELF file at $program"
    return
  fi

  needs=$(version_needs "$program")
  details=
  while read -r v; do
    [[ -z $v ]] && continue
    if [[ $v =~ ^GLIBC_2\.([0-9]+)(\.[0-9]+)?$ ]]; then
      minor=${BASH_REMATCH[1]}
      ((minor <= glibc_floor)) ||
        details+="$v, newer than GLIBC_2.$glibc_floor, for: $(symbols_of "$program" "$v")"$'\n'
    elif [[ $v == GLIBC_PRIVATE ]]; then
      details+="GLIBC_PRIVATE, which no program may use"$'\n'
    else
      details+="$v, for: $(symbols_of "$program" "$v")"$'\n'
    fi
  done <<<"$needs"
  verdict "$name: no symbol version but GLIBC_2.$glibc_floor or older" "${details%$'\n'}"

  details=$(readelf -d -W "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' |
    grep -Ev "$allowed_needed" | sed 's/^/not an allowed shared library: /')
  verdict "$name: shared libraries only libc and GTK 3's" "$details"

  details=
  local function since
  while read -r function; do
    since=$(awk -v f="$function" '$1 == f { print $2 }' "$kept")
    if [[ -z $since ]]; then
      details+="$function: not in tests/linux/gtk_functions.txt; look up its Since and add it"$'\n'
    elif [[ $(printf '%s\n%s\n' "$since" "$gtk_floor" | sort -V | tail -n 1) != "$gtk_floor" ]]; then
      details+="$function: since GTK $since, newer than $gtk_floor"$'\n'
    fi
  done < <(undefined_symbols "$program" | sed 's/@.*//' | grep -E '^(gtk|gdk)_')
  verdict "$name: GTK functions only of GTK $gtk_floor" "${details%$'\n'}"
}

# The kept list itself: nothing in it newer than the floor.
details=$(grep -v '^#' "$kept" | awk -v floor="$gtk_floor" 'NF != 2 { print "malformed line: " $0 }' )
newer=$(grep -v '^#' "$kept" | while read -r f s; do
  [[ $(printf '%s\n%s\n' "$s" "$gtk_floor" | sort -V | tail -n 1) == "$gtk_floor" ]] ||
    echo "$f: since GTK $s, newer than $gtk_floor"
done)
verdict "gtk_functions.txt: nothing newer than GTK $gtk_floor" "$details${details:+${newer:+$'\n'}}$newer"

for program in "$@"; do check_program "$program"; done
checks_done
