#!/usr/bin/env bash
# The installed program: both commands on the PATH working from any folder, the program's own files beside
# its real executable, and the launcher, icons, metadata and manual page where a desktop finds them.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" > /dev/null

for file in bin/pixmora bin/pixmora-batch lib/pixmora/pixmora lib/pixmora/pixmora-batch lib/pixmora/px.jpg \
    lib/pixmora/versao.txt lib/pixmora/config.txt share/applications/org.pixmora.Pixmora.desktop \
    share/metainfo/org.pixmora.Pixmora.metainfo.xml share/icons/hicolor/scalable/apps/org.pixmora.Pixmora.svg \
    share/icons/hicolor/16x16/apps/org.pixmora.Pixmora.png share/icons/hicolor/256x256/apps/org.pixmora.Pixmora.png \
    share/man/man1/pixmora-batch.1; do
    [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
[ -L "$prefix/bin/pixmora" ] || { echo "bin/pixmora is no link into the program folder"; exit 1; }

cd /
PATH=$prefix/bin:$PATH
pixmora-batch --version | grep -q '^pixmora-batch (Pixmora)'
pixmora-batch --invert "$prefix/lib/pixmora/px.jpg" "$work/negativo.png"
[ -s "$work/negativo.png" ] || { echo "pixmora-batch wrote nothing"; exit 1; }
QT_QPA_PLATFORM=offscreen pixmora --version | grep -q '^Pixmora '
grep -q '^\.SH SYNOPSIS' "$prefix/share/man/man1/pixmora-batch.1"

if command -v desktop-file-validate > /dev/null; then
    desktop-file-validate "$prefix/share/applications/org.pixmora.Pixmora.desktop"
else
    echo "desktop-file-validate is missing (scripts/setup installs it): launcher not validated"
fi
if command -v appstreamcli > /dev/null; then
    appstreamcli validate --no-net "$prefix/share/metainfo/org.pixmora.Pixmora.metainfo.xml"
else
    echo "appstreamcli is missing (scripts/setup installs it): metadata not validated"
fi
echo "installed program complete"
