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

# What building and testing needs on a fresh Debian 12 machine.
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config python3 qt6-base-dev libgl-dev libjpeg-dev libgtest-dev
                fonts-dejavu-core libmodbus-dev nlohmann-json3-dev qt6-serialport-dev qt6-charts-dev
                libqt6opengl6-dev)

# What the window test over the accessibility bus needs (tests/a11y/run):
# a virtual display, the session and accessibility buses, Debian's python3
# with pyatspi, and xdotool for keys.
A11Y_PACKAGES=(xvfb xauth x11-utils dbus at-spi2-core python3-pyatspi xdotool)
