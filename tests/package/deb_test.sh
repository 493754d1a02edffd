#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The built Debian package, unpacked with dpkg -x into a scratch folder:
# its dependencies, each program's --version, and one kv770ctl check
# against the packaged kv770-sim, all from the unpacked tree.
# Usage: deb_test.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
root=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libqt6network6 libqt6core6 libjpeg62-turbo qt6-qpa-plugins; do
  grep -q "$p" <<<"$depends" || fail "Depends lacks $p: $depends"
done
dpkg -x "$deb" "$root"
usr=$root/usr
"$usr/bin/kv770ctl" --version | grep -qx 'kv770ctl [0-9.]*' || fail "kv770ctl --version"
"$usr/bin/kv770-sim" --version | grep -qx 'kv770-sim [0-9.]*' || fail "kv770-sim --version"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/kv770-config" --version 2>/dev/null |
  grep -qx 'kv770-config [0-9.]*' || fail "kv770-config --version"
for page in kv770-config kv770ctl kv770-sim; do
  [ -f "$usr/share/man/man1/$page.1.gz" ] || fail "no compressed manual page $page.1.gz"
done
[ -f "$usr/share/doc/kv770-config/copyright" ] || fail "no copyright file"
for program in kv770ctl kv770-sim; do
  grep -q "complete" "$usr/share/bash-completion/completions/$program" ||
    fail "no bash completion for $program"
done
[ -f "$usr/share/metainfo/org.kv770_config.kv770_config.metainfo.xml" ] || fail "no metainfo"

# The packaged simulator on a free port, the packaged kv770ctl against it.
"$usr/bin/kv770-sim" --port 0 >"$root/sim.out" &
sim=$!
for _ in $(seq 50); do grep -q 'listening on' "$root/sim.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$root/sim.out")
[ -n "$port" ] || fail "the packaged kv770-sim did not listen"
"$usr/bin/kv770ctl" --tcp "127.0.0.1:$port" check | grep -q 'QV:' || fail "kv770ctl check"
echo "package $(basename "$deb"): ok (Depends: $depends)"
