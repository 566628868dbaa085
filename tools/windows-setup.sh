#!/bin/bash
# Installs what the Windows build needs on a Debian bookworm machine: the
# i686 mingw-w64 cross compiler, 32-bit wine (i386 multiarch) and access to
# Debian's source packages (a deb-src entry for the same suite). Every step
# is skipped when it is already done, so this runs quickly on a set-up
# machine.
set -euo pipefail

SRC_LIST=/etc/apt/sources.list.d/zorva-src.sources
PACKAGES="g++-mingw-w64-i686 gcc-mingw-w64-i686 mingw-w64-tools wine wine32 dpkg-dev cmake make python3"

need_update=0

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "windows-setup: adding the i386 architecture"
  dpkg --add-architecture i386
  need_update=1
fi

if [ ! -f "$SRC_LIST" ]; then
  echo "windows-setup: adding a deb-src entry for bookworm"
  cat >"$SRC_LIST" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# Source package indexes can be missing even when the entry exists (for
# example a machine image with cleaned apt lists).
if ! apt-cache showsrc lz4 2>/dev/null | grep -q '^Package: lz4'; then
  need_update=1
fi

if [ "$need_update" = 1 ] || [ -n "$missing" ]; then
  timeout 600 apt-get update -qq
fi
if [ -n "$missing" ]; then
  echo "windows-setup: installing$missing"
  DEBIAN_FRONTEND=noninteractive timeout 1800 apt-get install -y -qq --no-install-recommends $missing
fi
