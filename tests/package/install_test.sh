#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs a built tree into a scratch root and starts the installed
# programs (the Debian package is checked by tests/package/deb_test.sh).
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

check_tree() {  # prefix (…/usr)
  local usr=$1
  [ "$(ls "$usr/bin" | tr '\n' ' ')" = "kv770-config kv770-sim kv770ctl " ] ||
    fail "bin holds: $(ls "$usr/bin" | tr '\n' ' ')"
  "$usr/bin/kv770ctl" --version | grep -qx 'kv770ctl [0-9.]*' || fail "kv770ctl --version"
  "$usr/bin/kv770-sim" --version | grep -qx 'kv770-sim [0-9.]*' || fail "kv770-sim --version"
  # Needs no display to say its version.
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/kv770-config" --version 2>/dev/null |
    grep -qx 'kv770-config [0-9.]*' || fail "kv770-config --version"
  [ -f "$usr/share/applications/kv770-config.desktop" ] || fail "no desktop entry"
  grep -qx 'Icon=kv770-config' "$usr/share/applications/kv770-config.desktop" || fail "icon name"
  [ -f "$usr/share/icons/hicolor/scalable/apps/kv770-config.svg" ] || fail "no icon"
  for page in kv770-config kv770ctl kv770-sim; do
    [ -f "$usr/share/man/man1/$page.1" ] || fail "no manual page $page.1"
  done
}

cmake --install "$build" --prefix "$root/usr" >/dev/null
check_tree "$root/usr"
echo "installed tree: ok"
