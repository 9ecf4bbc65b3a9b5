#!/usr/bin/env bash
# The Windows build under Wine, on an X server of its own (Xvfb), in the build's own Wine prefix:
#  1. the Windows suites (ctest through wine-run.sh);
#  2. brimvolt.exe --help and --version on the console that started them;
#  3. one run of the Linux simulator through a real COM port: the simulator on a
#     pseudo-terminal that Wine serves as COM5, found through the registry's SERIALCOMM list;
#     the same run recorded at the same time by the Linux build, and both journals compared;
#  4. cell labels from brimvolt-journal.exe: their QR codes, read back here, give the cells'
#     names, a Cyrillic one included;
#  5. the module unplugged mid-run and plugged back in: found again, the curve goes on;
#     a picture of both windows meanwhile (WIN_BUILD/windows.png);
#  6. the zip's programs start from its folder alone; the installer installs silently, the
#     installed program answers --version, the uninstaller leaves nothing of what it installed.
# The machine's own /dev/ttyS* stay in Wine's list (COM1, ...): opening one with no line
# blocks, and the search has to go past it, which this run proves too.
#
# Usage: tools/windows/windows-test.sh WIN_BUILD LINUX_BUILD
set -euo pipefail

win=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
# The compared run: a cell nearly empty, at a speed where the module's clock moves less than a
# second per poll tick, so every module second is sampled by both programs alike (faster, the
# samples would count poll ticks, which a busy machine hands out unevenly).
speed=${WINDOWS_TEST_SPEED:-6}
soc=${WINDOWS_TEST_SOC:-3}
run="$win/wine-run.sh"
export WINEPREFIX="$win/wine"
work=$(mktemp -d "$win/windows-test.XXXXXX")
pids=()

fail() {
    echo "windows-test: $*" >&2
    exit 1
}
cleanup() {
    WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap cleanup EXIT

# An X server of our own: Wine draws its windows there even for Qt's offscreen platform.
exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>"$work/xvfb.log")
pids+=($!)
read -r -t 30 display <&3 || fail "Xvfb did not start"
export DISPLAY=":$display"

# The prefix, once: Wine's own set-up, and the Liberation faces the program asks for.
if [ ! -f "$WINEPREFIX/.brimvolt" ]; then
    "$run" wineboot -i >/dev/null 2>&1
    cp /usr/share/fonts/truetype/liberation/Liberation*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    touch "$WINEPREFIX/.brimvolt"
fi

echo "== the Windows suites"
(cd "$win" && ctest --output-on-failure -j "${JOBS:-2}" --timeout 300)

echo "== --help and --version on the console"
out=$("$run" "$win/bin/brimvolt.exe" --version) || fail "--version exited with $?"
[[ $out == "brimvolt "[0-9]* ]] || fail "--version printed: $out"
out=$("$run" "$win/bin/brimvolt.exe" --help) || fail "--help exited with $?"
[[ $out == *"--extra-port PATH"* && $out == *"--version"* ]] || fail "--help printed: $out"
# This build's libmosquitto has no TLS: mqtts:// is refused, never spoken in the clear.
status=0
out=$("$run" "$win/bin/brimvolt.exe" --mqtt mqtts://localhost 2>&1) || status=$?
[ "$status" = 2 ] && [[ $out == *"mqtts://"* ]] || fail "--mqtt mqtts:// gave $status: $out"

# A simulator on a pseudo-terminal; prints the device path on its first line.
start_sim() {  # folder, then the simulator's options
    local folder=$1
    shift
    mkdir -p "$folder"
    "$linux/bin/brimvolt-sim" "$@" >"$folder/sim.out" 2>"$folder/sim.err" &
    sim_pid=$!
    pids+=($sim_pid)
    for _ in $(seq 100); do
        sim_path=$(head -n 1 "$folder/sim.out" 2>/dev/null || true)
        [ -n "$sim_path" ] && return 0
        sleep 0.1
    done
    fail "the simulator gave no device"
}
# Wine serves the pseudo-terminal as COM5; the server is restarted so the port is made afresh.
com5() {
    "$run" reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$1" /f >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
    "$run" reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>/dev/null | grep 'COM5' >/dev/null ||
        fail "COM5 is not in the SERIALCOMM list"
}
run_field() {  # journal, field (5 state, 6 duration, 7 capacity)
    "$linux/bin/brimvolt-journal" --journal "$1" list 2>/dev/null | awk -F'\t' -v f="$2" 'NR==1 {print $f}'
}
samples() {  # journal [from]: the first run's samples, those at module second `from` on
    "$linux/bin/brimvolt-journal" --journal "$1" csv 1 2>/dev/null |
        awk -F, -v from="${2:-0}" '/^[0-9]/ && $1 >= from {n++} END {print n + 0}'
}
first_second() {  # journal: the module second of the first run's first sample
    "$linux/bin/brimvolt-journal" --journal "$1" csv 1 2>/dev/null | awk -F, '/^[0-9]/ && !seen {print $1; seen = 1}'
}
curve_points() {  # the autosave's points, as brimvolt-curve reads it
    "$linux/bin/brimvolt-curve" info "$1" 2>/dev/null | awk '/^points:/ {print $2}' || true
}

echo "== a run through COM5, recorded by the Windows and the Linux build"
start_sim "$work/windows" --run --speed "$speed" --soc "$soc"
win_sim=$sim_pid
start_sim "$work/linux" --run --speed "$speed" --soc "$soc"
linux_path=$sim_path
com5 "$(head -n 1 "$work/windows/sim.out")"
(cd "$work/windows" && exec "$run" "$win/bin/brimvolt.exe" --journal journal.sqlite \
    >program.out 2>&1) &
pids+=($!)
(cd "$work/linux" && QT_QPA_PLATFORM=offscreen exec "$linux/bin/brimvolt" \
    --extra-port "$linux_path" --journal journal.sqlite >program.out 2>&1) &
pids+=($!)
for tick in $(seq 600); do
    # A module found shows as an autosave within a minute.
    [ "$tick" -lt 120 ] || [ -s "$work/windows/temp.raz" ] ||
        fail "brimvolt.exe found no module on COM5 in a minute"
    [ "$(run_field "$work/windows/journal.sqlite" 5)" = stopped ] &&
        [ "$(run_field "$work/linux/journal.sqlite" 5)" = stopped ] && break
    sleep 0.5
done
for build in windows linux; do
    [ "$(run_field "$work/$build/journal.sqlite" 5)" = stopped ] ||
        fail "the $build build recorded no finished run"
    [ -s "$work/$build/temp.raz" ] || fail "the $build build left no autosave"
done
[ "$(run_field "$work/windows/journal.sqlite" 3)" = COM5 ] || fail "the run was not on COM5"
for field in 6 7; do
    w=$(run_field "$work/windows/journal.sqlite" $field)
    l=$(run_field "$work/linux/journal.sqlite" $field)
    [ "$w" = "$l" ] || fail "journal field $field: Windows $w, Linux $l"
done
# Wine starts later than the Linux program, so its curve begins later in the run: the samples
# are counted from the later of the two first ones.
from=$(first_second "$work/windows/journal.sqlite")
l_from=$(first_second "$work/linux/journal.sqlite")
[ "${l_from:-0}" -gt "${from:-0}" ] && from=$l_from
w=$(samples "$work/windows/journal.sqlite" "$from")
l=$(samples "$work/linux/journal.sqlite" "$from")
# A poll that a loaded machine hands out late loses its module second: a couple may differ.
slack=$((2 + w / 50))
[ "$w" -gt 10 ] && [ $((w - l)) -le "$slack" ] && [ $((l - w)) -le "$slack" ] ||
    fail "samples: Windows $w, Linux $l"
"$linux/bin/brimvolt-curve" info "$work/windows/temp.raz" >/dev/null ||
    fail "brimvolt-curve cannot read the Windows autosave"
echo "run: $(run_field "$work/windows/journal.sqlite" 6), $(run_field "$work/windows/journal.sqlite" 7) mAh, samples from second $from: Windows $w, Linux $l"
wineserver -k 2>/dev/null || true
kill "$win_sim" 2>/dev/null || true

echo "== cell labels: their QR codes read back"
# The Windows journal, closed now, gets cells by the Linux tool; the Windows one makes their
# labels. Wine reads its arguments in the locale's character set (under C a Cyrillic name
# arrives mangled); zbarimg writes the codes' UTF-8 as it is, and its D-Bus noise goes.
names=("A1" "Ячейка-7" "Samsung 25R #3")
for name in "${names[@]}"; do
    "$linux/bin/brimvolt-journal" --journal "$work/windows/journal.sqlite" cell 1 "$name" >/dev/null ||
        fail "the cell $name was not registered"
done
(cd "$work/windows" && LC_ALL=C.UTF-8 exec "$run" "$win/bin/brimvolt-journal.exe" \
    --journal journal.sqlite labels -- "${names[@]}" labels.pdf) ||
    fail "brimvolt-journal.exe labels exited with $?"
pdftoppm -r 300 -png "$work/windows/labels.pdf" "$work/windows/labels" ||
    fail "pdftoppm cannot read the Windows labels"
decoded=$(for page in "$work/windows"/labels*.png; do
    zbarimg --quiet --raw -Sqrcode.enable "$page" 2>/dev/null || true
done | LC_ALL=C sort)
expected=$(printf '%s\n' "${names[@]}" | LC_ALL=C sort)
[ "$decoded" = "$expected" ] || fail "the labels' QR codes read: ${decoded//$'\n'/ | } (wanted ${expected//$'\n'/ | })"
echo "labels: ${decoded//$'\n'/, }"

echo "== unplugged mid-run and plugged back in"
start_sim "$work/unplug" --run --speed 40
com5 "$sim_path"
(cd "$work/unplug" && exec "$run" "$win/bin/brimvolt.exe" --journal journal.sqlite \
    >program.out 2>&1) &
pids+=($!)
wait_growing() {  # points the autosave must reach
    for _ in $(seq 240); do
        local now
        now=$(curve_points "$work/unplug/temp.raz")
        [ -n "$now" ] && [ "$now" -ge "$1" ] && return 0
        sleep 0.5
    done
    return 1
}
wait_growing 5 || fail "no growing curve before the unplug"
kill -USR1 "$sim_pid"
sleep 4
kill -USR1 "$sim_pid"
before=$(curve_points "$work/unplug/temp.raz")
wait_growing $((before + 5)) || fail "the module was not found again after the unplug"
sleep 2
xwd -root -display "$DISPLAY" | xwdtopnm 2>/dev/null | pnmcrop 2>/dev/null | pnmtopng >"$win/windows.png"
echo "found again; picture of both windows in $win/windows.png"
echo "== the zip and the installer"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win/CMakeCache.txt")
wineserver -k 2>/dev/null || true
# Plain Wine from here on: no search path into the SDK, only what the package brings.
plain() { env -u WINEPATH -u QT_PLUGIN_PATH WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wine "$@"; }
mkdir -p "$work/zip"
(cd "$work/zip" && unzip -q "$win/brimvolt-$version-windows-x64.zip")
for program in brimvolt brimvolt-curve brimvolt-journal; do
    plain "$work/zip/brimvolt-$version-windows-x64/$program.exe" --help >/dev/null ||
        fail "$program.exe from the zip does not start"
done
plain "$win/brimvolt-$version-setup.exe" /S /CurrentUser || fail "the silent install failed"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brimvolt'
location=$(plain reg query "$key" /v InstallLocation 2>/dev/null | awk -F'REG_SZ' '/InstallLocation/ {gsub(/^[ \t]+|[ \t\r]+$/, "", $2); print $2}')
[ -n "$location" ] || fail "no uninstall entry in the list of programs"
installed=$(plain winepath -u "$location" 2>/dev/null)
[ -f "$installed/brimvolt.exe" ] || fail "nothing installed in $installed"
plain reg query 'HKCU\Software\Classes\Brimvolt.DischargeCurve\shell\open\command' 2>/dev/null |
    grep -F 'brimvolt.exe" "%1"' >/dev/null || fail ".raz files are not opened with Brimvolt"
out=$(plain "$installed/brimvolt.exe" --version | tr -d '\r') ||
    fail "the installed program does not start"
[ "$out" = "brimvolt $version" ] || fail "the installed program says: $out"
plain "$installed/uninstall.exe" /S /CurrentUser || fail "the uninstaller failed"
# The uninstaller runs from a copy of itself and returns at once.
for _ in $(seq 120); do
    [ -e "$installed" ] || break
    sleep 0.5
done
[ ! -e "$installed" ] || fail "left after the uninstall: $(cd "$installed" && find . | head)"
! plain reg query "$key" >/dev/null 2>&1 || fail "the uninstall entry stayed"
! plain reg query 'HKCU\Software\Classes\.raz' >/dev/null 2>&1 || fail ".raz stayed Brimvolt's"
echo "installed into $location, started, uninstalled"

echo "windows-test: all passed"
rm -rf "$work"
