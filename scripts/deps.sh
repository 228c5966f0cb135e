#!/usr/bin/env bash
# Installs the Debian packages the program, its tests and its benchmarks need, when any is missing.
# Does nothing (and needs no network) when everything is already there. Further package names
# given as arguments are installed too (scripts/package.sh asks for lintian this way).
set -euo pipefail

PACKAGES=(
    cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
    libsqlite3-dev sqlite3 zlib1g-dev libcurl4-openssl-dev qt6-base-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    python3-pyftpdlib vsftpd openssl zip unzip libxml2-utils
    fonts-dejavu-core xvfb xauth xdotool weston qt6-wayland imagemagick qt6-translations-l10n stress
    desktop-file-utils appstream dpkg-dev file bsdutils clang-format clang-tidy
    "$@"
)

missing=()
for pkg in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
