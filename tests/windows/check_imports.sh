#!/usr/bin/env bash
# Lists the functions each Windows program imports and fails on any that is
# not in tests/windows/win7_imports.txt, the functions kept because Windows 7
# SP1's system DLLs export them. The build defines _WIN32_WINNT as Windows 7,
# but a static library, a header that ignores it or a MinGW runtime update can
# still bring in a newer function, and such a program does not even start on
# Windows 7: the loader refuses it before any window opens.
#
#   tests/windows/check_imports.sh dist/varnelo.exe dist/varnelo-32位.exe
#
# One "PASS: imports <program>" or "FAIL: imports <program>" line each, after
# the functions that are not kept. A program not there is skipped.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
kept=$root/tests/windows/win7_imports.txt
# shellcheck source=../support/checks.sh
source "$root/tests/support/checks.sh"

# "dll function" per import, the DLL's name in lower case; an import by
# ordinal shows as "#<ordinal>".
imports() {  # program
  x86_64-w64-mingw32-objdump -p "$1" | awk '
    /^\tDLL Name: / { dll = tolower($3); next }
    /^$/ { dll = "" }
    dll != "" && /^\t[0-9a-f]+\t/ {
      if ($3 == "" || $3 == "<none>") print dll, "#" $2; else print dll, $3 }' |
    LC_ALL=C sort -u
}

# The kept list in the same form: comments and empty lines left out.
kept_list() {
  awk '!/^#/ && NF == 2 { print tolower($1), $2 }' "$kept" | LC_ALL=C sort -u
}

for program in "$@"; do
  name=$(basename "$program")
  if [[ ! -f $program ]]; then
    echo "SKIP: imports $name: not built"
    continue
  fi
  list=$(imports "$program")
  if [[ -z $list ]]; then
    verdict "imports $name" "objdump listed no imported functions"
    continue
  fi
  unknown=$(LC_ALL=C comm -23 <(printf '%s\n' "$list") <(kept_list))
  if [[ -n $unknown ]]; then
    verdict "imports $name" "check_imports: $name imports functions not known to be on Windows 7 SP1:
$(printf '%s\n' "$unknown" | sed 's/^/  /')
  Look up each function's minimum supported client; when it is Windows 7 or
  earlier, add it to tests/windows/win7_imports.txt."
  else
    echo "check_imports: $name: $(printf '%s\n' "$list" | wc -l) functions, all kept"
    verdict "imports $name" ""
  fi
done
checks_done
