# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that are missing (nothing when all are there).
# Usage: ensure_packages pkg...
ensure_packages() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What building and testing needs on a fresh Debian 12 machine: the
# Build-Depends of debian/control (one list for the Debian build and for
# these scripts), and the compiler that build-essential brings there.
control_build_depends() {
  local control
  control="$(dirname "${BASH_SOURCE[0]}")/../../debian/control"
  sed -n '/^Build-Depends:/,/^[A-Z][A-Za-z-]*:/p' "$control" | sed -e '1s/^Build-Depends://' -e '/^[A-Z][A-Za-z-]*:/d' |
    tr ',' '\n' | sed -e 's/([^)]*)//g' -e 's/<[^>]*>//g' -e 's/[[:space:]]//g' |
    grep -v -e '^$' -e '^debhelper-compat$'
}
mapfile -t BUILD_PACKAGES < <(control_build_depends)
BUILD_PACKAGES+=(g++)

# What the window test over the accessibility bus needs (tests/a11y/run):
# a virtual display, the session and accessibility buses, Debian's python3
# with pyatspi, and xdotool for keys.
A11Y_PACKAGES=(xvfb xauth x11-utils dbus at-spi2-core python3-pyatspi xdotool
               fonts-wqy-microhei qt6-translations-l10n)
