#!/usr/bin/env bash
# install-test.sh <build dir>: installs into a temporary prefix and runs the
# installed pelkor (as nobody when run as root) on a start file without
# folders against the installed pcdsim. The user's files must land in that
# user's data folder and nothing beside the program. Then checks the installed
# desktop entry, start-file type, user unit and pkg-config file with the
# Debian tools that are present.
set -euo pipefail
build=$1
work=$(mktemp -d)
sim=
trap '[[ -n $sim ]] && kill "$sim" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
chmod 755 "$work"
prefix=$work/prefix
home=$work/home
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libPelsbus.so.1' | head -1)")
mkdir -p "$home/my jobs"
job="$home/my jobs/plant job.pelk"
printf '%s\r\n' "[Pelkor]" "Version=3" "SingleShot=1" "Hidden=1" "LogUsed=1" "Task=1" "" \
  "[Connection]" "AutoConnect=1" "Station=1" "DLL=0" "" \
  "[Task1]" "Settings=1" "Data=R 0 [2]" "FileName=plant" "FileIndex=0" "FileType=CSV" > "$job"

as_user=(env -i "HOME=$home" PATH=/usr/bin:/bin LC_ALL=C)
if [[ $(id -u) -eq 0 ]] && command -v setpriv >/dev/null; then
  chown -R 65534:65534 "$home"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups "${as_user[@]}")
fi

touch "$work/stamp"
"${as_user[@]}" timeout 60 "$prefix/bin/pcdsim" --station 1 --seconds 50 > "$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 100); do [[ -s $work/sim.out ]] && break; sleep 0.1; done
pty=$(head -1 "$work/sim.out")
[[ $pty == /dev/pts/* ]] || fail "pcdsim gave no terminal: $(cat "$work/sim.out")"

# As the desktop entry starts it: the file as one argument, then PG5=20.
grep -qx 'Exec=pelkor %f PG5=20' "$prefix/share/applications/pelkor.desktop" || fail "desktop Exec line"
status=0
"${as_user[@]}" "PELSBUS_COM1=$pty" timeout 60 "$prefix/bin/pelkor" "$job" PG5=20 > "$work/run.out" 2>&1 || status=$?
[[ $status -eq 0 ]] || fail "pelkor ended with $status: $(cat "$work/run.out")"
data=$home/.local/share/pelkor
[[ -s $data/Pelkor.txt ]] || fail "no event log in $data"
[[ $(wc -l < "$data/plant.csv") -ge 1 ]] || fail "no record in $data/plant.csv"
written=$(find "$prefix" -newer "$work/stamp" ! -type d)
[[ -z $written ]] || fail "written beside the program: $written"
[[ $("$prefix/bin/pelkor" --version) == "pelkor "[0-9]* ]] || fail "pelkor --version"
[[ -f $prefix/share/pelkor/Pelkor.html && -f $prefix/share/pelkor/Pelkor52.5at ]] || fail "shipped files"

# A host built against the library through pkg-config.
printf '#include <Pelsbus.h>\nint main(void) { PCDNoMsg(); return 0; }\n' > "$work/host.c"
# shellcheck disable=SC2046
cc -o "$work/host" "$work/host.c" $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs pelsbus)
LD_LIBRARY_PATH=$libdir "$work/host" || fail "pkg-config host"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/pelkor.desktop" || fail "desktop entry"
  update-desktop-database "$prefix/share/applications"
  grep -q '^application/x-pelkor=pelkor.desktop' "$prefix/share/applications/mimeinfo.cache" || fail "not the .pelk handler"
fi
if command -v update-mime-database >/dev/null; then
  update-mime-database "$prefix/share/mime" >/dev/null 2>&1
  grep -qx 'application/x-pelkor:\*.pelk' "$prefix/share/mime/globs" || fail "no *.pelk type"
fi
if command -v systemd-analyze >/dev/null; then
  mkdir -p "$work/units"
  cp "$prefix/lib/systemd/user/pelkor@.service" "$work/units/pelkor@plant.service"
  grep -q "^ExecStart=$prefix/bin/pelkor --headless --start" "$work/units/pelkor@plant.service" || fail "unit ExecStart"
  SYSTEMD_LOG_LEVEL=err systemd-analyze verify --man=no "$work/units/pelkor@plant.service" || fail "unit"
fi
echo "install test passed"
