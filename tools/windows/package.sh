#!/usr/bin/env bash
# The Windows build as a zip (unpack anywhere and run) and as an installer (NSIS):
#   WIN_BUILD/brimvolt-VERSION-windows-x64.zip, WIN_BUILD/brimvolt-VERSION-setup.exe
# Both hold the three programs, the DLLs they load, Qt's Windows platform and style plugins,
# Qt's Russian texts, a qt.conf that points Qt at them, and README.txt.
#
# Usage: tools/windows/package.sh WIN_BUILD
set -euo pipefail

win=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win/CMakeCache.txt")
sdk=$(sed -n 's/^Qt6_DIR:PATH=//p' "$win/CMakeCache.txt")
sdk=$(cd "$sdk/../../.." && pwd)
name=brimvolt-$version-windows-x64
stage=$win/$name
compiler=x86_64-w64-mingw32-g++-posix

rm -rf "$stage"
mkdir -p "$stage/plugins/platforms" "$stage/plugins/styles" "$stage/translations"
cp "$win/bin/brimvolt.exe" "$win/bin/brimvolt-curve.exe" "$win/bin/brimvolt-journal.exe" "$stage/"
cp "$sdk/plugins/platforms/qwindows.dll" "$stage/plugins/platforms/"
cp "$sdk/plugins/styles/qwindowsvistastyle.dll" "$stage/plugins/styles/"
cp /usr/share/qt6/translations/qtbase_ru.qm "$stage/translations/"

# The DLLs the programs and plugins import, and theirs in turn, from the SDK and the compiler;
# the system's own are left to Windows.
find_dll() {
    local found
    if [ -f "$sdk/bin/$1" ]; then
        echo "$sdk/bin/$1"
        return
    fi
    found=$("$compiler" -print-file-name="$1")
    [ -f "$found" ] && echo "$found"
}
queue=("$stage"/*.exe "$stage"/plugins/*/*.dll)
while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    for dll in $(x86_64-w64-mingw32-objdump -p "$file" | awk '/DLL Name:/ {print $3}'); do
        [ -f "$stage/$dll" ] && continue
        path=$(find_dll "$dll" || true)
        [ -n "$path" ] || continue
        cp "$path" "$stage/$dll"
        x86_64-w64-mingw32-strip --strip-unneeded "$stage/$dll"
        queue+=("$stage/$dll")
    done
done
x86_64-w64-mingw32-strip --strip-unneeded "$stage"/*.exe

printf '[Paths]\r\nPrefix=.\r\nPlugins=plugins\r\nTranslations=translations\r\n' >"$stage/qt.conf"
sed 's/$/\r/' >"$stage/README.txt" <<TEXT
Brimvolt $version for 64-bit Windows

brimvolt.exe          the program: finds the battery tester module on the computer's serial
                      ports (the COM ports Windows lists) by itself
brimvolt-curve.exe    curve files (.raz, .zar) from the command line: info, csv, png
brimvolt-journal.exe  the run journal from the command line: list, csv, curve

This folder can live anywhere; nothing is written outside it but the journal, the curves and
Colors.ini, which go to the folder the program is started in. brimvolt.exe --help lists the
options. MQTT publishing works over mqtt:// only: this build has no TLS.
TEXT

rm -f "$win/$name.zip"
(cd "$win" && zip -qr9 "$name.zip" "$name")

# The installer's lists: every file of the stage to install, and to remove again.
lists=$win/nsis
mkdir -p "$lists"
: >"$lists/files.nsh"
: >"$lists/unfiles.nsh"
: >"$lists/dirs.nsh"
(cd "$stage" && find . -type d | sort) | while read -r dir; do
    dir=${dir#.}
    dir=${dir#/}
    windir=${dir//\//\\}
    echo "SetOutPath \"\$INSTDIR${dir:+\\$windir}\"" >>"$lists/files.nsh"
    (cd "$stage/$dir" && find . -maxdepth 1 -type f | sort) | while read -r file; do
        file=${file#./}
        echo "File \"$stage/${dir:+$dir/}$file\"" >>"$lists/files.nsh"
        echo "Delete \"\$INSTDIR\\${dir:+$windir\\}$file\"" >>"$lists/unfiles.nsh"
    done
    [ -n "$dir" ] && echo "RMDir \"\$INSTDIR\\$windir\"" >>"$lists/dirs.nsh"
done
# Folders deepest first.
sort -r -o "$lists/dirs.nsh" "$lists/dirs.nsh"
makensis -V2 -DVERSION="$version" -DOUTFILE="$win/brimvolt-$version-setup.exe" \
    -DFILES="$lists/files.nsh" -DUNFILES="$lists/unfiles.nsh" -DDIRS="$lists/dirs.nsh" \
    "$source_dir/packaging/windows/brimvolt.nsi"
ls -l "$win/$name.zip" "$win/brimvolt-$version-setup.exe"
