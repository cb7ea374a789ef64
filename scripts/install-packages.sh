#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing.
# Usage: scripts/install-packages.sh PACKAGE...
# Installing needs root: the script is run as root, or through sudo. When all
# the packages are there already, any user may run it.
set -euo pipefail

missing=()
for package in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null; then
    cat >&2 <<EOF
These Debian packages are missing: ${missing[*]}

Installing them needs root, and this user is not root and has no sudo. Either
run the same command again as root, or have root install them once with

  apt-get update && apt-get install --no-install-recommends ${missing[*]}

and then run the command again as this user.
EOF
    exit 1
  fi
  as_root=(sudo)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# An index that fails to download (a mirror mid-update, an architecture
# half served) leaves the others current; what is missing shows in the
# install itself.
"${as_root[@]}" apt-get update -q || echo "install-packages: some package lists could not be updated; going on with the rest" >&2
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${missing[@]}"
