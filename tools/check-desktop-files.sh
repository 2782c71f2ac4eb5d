#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the files that make the viewer a
# desktop citizen: the desktop entry, the AppStream description, the MIME types (a .t42 and a
# .tti file must map to the types the desktop entry opens) and the manual pages.
#
#   tools/check-desktop-files.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: check-desktop-files.sh BUILD_DIR}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/usr"

cmake --install "$build" --prefix "$prefix" >/dev/null
share="$prefix/share"

desktop-file-validate "$share/applications/quav-videotext.desktop"
appstreamcli validate --no-net --pedantic "$share/metainfo/de.quav.videotext.metainfo.xml"

XDG_DATA_DIRS="$share" update-mime-database "$share/mime" >/dev/null 2>&1
# The types the desktop entry opens must be the ones the globs give.
types=$(sed -n 's/^MimeType=//p' "$share/applications/quav-videotext.desktop")
for pair in "aufnahme.t42:application/x-teletext-t42" "P100.tti:text/x-teletext-tti"; do
    file="${pair%%:*}" type="${pair#*:}"
    grep -q "^$type:\*\.${file##*.}\$" "$share/mime/globs" || {
        echo "check-desktop-files: no glob for $file as $type" >&2
        exit 1
    }
    [[ ";$types" == *";$type;"* ]] || {
        echo "check-desktop-files: the desktop entry does not open $type" >&2
        exit 1
    }
done

for page in quav-videotext quav-videotext-cap; do
    man="$share/man/man1/$page.1"
    [ -s "$man" ] || { echo "check-desktop-files: $man missing" >&2; exit 1; }
    warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$man" 2>&1)
    if [ -n "$warnings" ]; then
        echo "check-desktop-files: $page.1: $warnings" >&2
        exit 1
    fi
done
echo "check-desktop-files: all desktop files are valid"
