#!/bin/bash
# Makes the folders and archives to hand to users, from the Linux build and
# the Windows cross build:
#
#   dist/zorva-windows/   zorva.exe (stripped), data.pod, README.txt
#   dist/zorva-linux/     zorva (stripped), data.pod, README.txt
#   dist/zorva-windows.zip, dist/zorva-linux.tar.gz   each folder in one file
#
#   tools/make-dist.sh LINUX_BUILD WINDOWS_BUILD OUT
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
SOURCE=$(dirname "$HERE")
linux_build=$1 windows_build=$2 out=$3

for f in "$linux_build/zorva" "$windows_build/zorva.exe"; do
  [ -f "$f" ] || { echo "make-dist.sh: $f is not built" >&2; exit 1; }
done

rm -rf "$out/zorva-windows" "$out/zorva-linux" "$out/zorva-windows.zip" "$out/zorva-linux.tar.gz"
mkdir -p "$out/zorva-windows" "$out/zorva-linux"

i686-w64-mingw32-strip -o "$out/zorva-windows/zorva.exe" "$windows_build/zorva.exe"
strip -o "$out/zorva-linux/zorva" "$linux_build/zorva"
for dir in zorva-windows zorva-linux; do
  cp "$SOURCE/assets/data.pod" "$out/$dir/data.pod"
done
# Windows' Notepad of older systems shows only CR LF line ends.
sed 's/$/\r/' "$HERE/dist_readme.txt" >"$out/zorva-windows/README.txt"
cp "$HERE/dist_readme.txt" "$out/zorva-linux/README.txt"

(cd "$out" && cmake -E tar cf zorva-windows.zip --format=zip zorva-windows)
tar -C "$out" -czf "$out/zorva-linux.tar.gz" --owner=0 --group=0 zorva-linux
echo "make-dist.sh: $out/zorva-windows.zip, $out/zorva-linux.tar.gz"
