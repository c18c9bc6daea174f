#!/usr/bin/env bash
# Installs the Debian packages Tamarind needs to build and test, when missing.
#   scripts/install-deps.sh [build|test]
set -euo pipefail

build_packages=(g++ cmake make pkg-config libgl-dev libopengl-dev libegl-dev libglu1-mesa-dev
  libpng-dev libfreetype-dev
  # The information overlay's bold fixed-pitch font.
  fonts-dejavu-core
  # The desktop program: Qt 6 widgets and OpenGL widget, the X11 platform
  # plug-in, Qt's Japanese texts, a Japanese interface font, and Liberation
  # Sans, whose widths match Arial's (the platform dialog, the spinner).
  qt6-base-dev libqt6opengl6-dev qt6-qpa-plugins qt6-translations-l10n fonts-ipafont-gothic
  fonts-liberation2)
# Mesa's software renderer gives the tests an OpenGL context without a screen.
test_packages=(googletest libgtest-dev libgmock-dev locales libegl-mesa0 libgl1-mesa-dri
  # The window tests run on a virtual X server (xvfb-run).
  xvfb xauth)

want=("${build_packages[@]}")
if [ "${1:-build}" = test ]; then
  want+=("${test_packages[@]}")
fi

# A decimal-comma locale, so number parsing is tested against one.
ensure_locale() {
  locale -a 2>/dev/null | grep -qi '^de_DE.utf-\?8$' && return 0
  [ "$(id -u)" -eq 0 ] || return 0
  if [ -f /etc/locale.gen ]; then
    sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    locale-gen >/dev/null 2>&1 || localedef -i de_DE -c -f UTF-8 de_DE.UTF-8 || true
  else
    localedef -i de_DE -c -f UTF-8 de_DE.UTF-8 || true
  fi
}

missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  [ "${1:-build}" = test ] && ensure_locale
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  sudo=(sudo)
else
  echo "Tamarind needs these packages; install them as root and run again:" >&2
  echo "  apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
[ "${1:-build}" = test ] && ensure_locale
exit 0
