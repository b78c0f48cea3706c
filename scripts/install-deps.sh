#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Idempotent: when everything is already installed it returns at once.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config libssl-dev
  qt6-base-dev qt6-charts-dev libqt6sql6-odbc
  libsqlcipher-dev sqlcipher sqlite3
  mariadb-server odbc-mariadb unixodbc unixodbc-dev
  dovecot-pop3d libcurl4-openssl-dev libgmime-3.0-dev p7zip-full
  xvfb xauth x11-utils imagemagick poppler-utils fonts-dejavu-core
  libqt6opengl6-dev tinyproxy util-linux desktop-file-utils openbox xdotool
  python3 openssl ca-certificates qt6-translations-l10n fonts-liberation2
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Paquets manquants : ${missing[*]}" >&2
  echo "Relancez en tant que root pour les installer." >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
# Installing server packages must not start system services.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
  chmod 755 /usr/sbin/policy-rc.d
  trap 'rm -f /usr/sbin/policy-rc.d' EXIT
fi
apt-get update -q
apt-get install -y -q "${missing[@]}"
