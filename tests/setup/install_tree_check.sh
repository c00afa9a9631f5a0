#!/bin/sh
# Installs the build into a temporary DESTDIR and checks what a desktop needs from it: the
# programs, the Russian texts, the desktop entry and AppStream data (validated by their own
# tools), the icons and the man pages.
# usage: install_tree_check.sh BUILD_DIR
set -eu
build=$1
dest=$(mktemp -d "${TMPDIR:-/tmp}/kv-destdir-XXXXXX")
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
root=$dest/usr
fail=0
need() { [ -e "$root/$1" ] || { echo "missing: /usr/$1"; fail=1; }; }
for f in bin/kv bin/kvarc bin/kv_setup share/korvalen/kv_rus.ini \
         share/applications/io.github.korvalen.Korvalen.desktop \
         share/metainfo/io.github.korvalen.Korvalen.metainfo.xml \
         share/icons/hicolor/scalable/apps/korvalen.svg \
         share/icons/hicolor/48x48/apps/korvalen.png share/icons/hicolor/256x256/apps/korvalen.png \
         share/man/man1/kv.1.gz share/man/man1/kvarc.1.gz share/man/man1/kv_setup.1.gz share/doc/korvalen/copyright; do
  need "$f"
done
desktop-file-validate "$root/share/applications/io.github.korvalen.Korvalen.desktop" || fail=1
appstreamcli validate --no-net "$root/share/metainfo/io.github.korvalen.Korvalen.metainfo.xml" || fail=1
# The PNG of each size is that size.
for s in 16 32 256; do
  head -c 24 "$root/share/icons/hicolor/${s}x${s}/apps/korvalen.png" | od -An -tx1 | tr -d ' \n' |
    grep -q "$(printf '%08x%08x' "$s" "$s")\$" || { echo "icon ${s}x${s} has another size"; fail=1; }
done
"$root/bin/kvarc" --version | grep -q '^kvarc (Korvalen) ' || { echo "kvarc --version"; fail=1; }
"$root/bin/kv" --version | grep -q '^kv (Korvalen) ' || { echo "kv --version"; fail=1; }
man -l "$root/share/man/man1/kv.1.gz" >/dev/null 2>&1 || { echo "kv.1 does not format"; fail=1; }
exit $fail
