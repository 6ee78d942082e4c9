#!/usr/bin/env bash
# install-test.sh <build dir>: installs into a temporary prefix and runs the
# installed pelkor (as nobody when run as root) on a start file without
# folders against the installed pcdsim. The prefix is the user's ~/.local, as
# a user install does it: the user's files must land in that user's data
# folder (~/.local/share/pelkor), apart from the shipped files, and nothing
# else may be written. Then checks the installed desktop entry, start-file
# type, user unit and pkg-config file with the Debian tools that are present.
set -euo pipefail
build=$1
work=$(mktemp -d)
sim=
trap '[[ -n $sim ]] && kill "$sim" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
chmod 755 "$work"
home=$work/home
prefix=$home/.local
HOME=$home cmake --install "$build" --prefix "$prefix" >/dev/null
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
desktop=$prefix/share/applications/org.pelkor.Pelkor.desktop
grep -qx 'Exec=pelkor --choose %f PG5=20' "$desktop" || fail "desktop Exec line"
[[ $("${as_user[@]}" "$prefix/bin/pelkor" --init) == "$home/.local/share/pelkor" ]] || fail "pelkor --init"
[[ -d $home/.local/share/pelkor ]] || fail "--init made no data folder"
status=0
"${as_user[@]}" "PELSBUS_COM1=$pty" timeout 60 "$prefix/bin/pelkor" "$job" PG5=20 > "$work/run.out" 2>&1 || status=$?
[[ $status -eq 0 ]] || fail "pelkor ended with $status: $(cat "$work/run.out")"
data=$home/.local/share/pelkor
[[ -s $data/Pelkor.txt ]] || fail "no event log in $data"
[[ $(wc -l < "$data/plant.csv") -ge 1 ]] || fail "no record in $data/plant.csv"
written=$(find "$prefix" -newer "$work/stamp" ! -type d ! -path "$data/*")
[[ -z $written ]] || fail "written beside the program: $written"
[[ $("$prefix/bin/pelkor" --version) == "pelkor "[0-9]* ]] || fail "pelkor --version"
shipped=$prefix/share/pelkor/shipped
for f in Pelkor.html Pelkor52.5at pelkor.png examples/new-job.pelk; do [[ -f $shipped/$f ]] || fail "shipped $f"; done
[[ ! -e $data/Pelkor.html ]] || fail "shipped files in the data folder"
for n in 16 48 256; do [[ -f $prefix/share/icons/hicolor/${n}x$n/apps/pelkor.png ]] || fail "no ${n} px icon"; done
[[ -f $prefix/share/doc/pelkor/README.md && -f $prefix/share/doc/pelkor/docs/pcdsim.md ]] || fail "documentation"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/org.pelkor.Pelkor.metainfo.xml" >/dev/null || fail "metainfo"
fi

# A host built against the library through pkg-config.
printf '#include <Pelsbus.h>\nint main(void) { PCDNoMsg(); return 0; }\n' > "$work/host.c"
# shellcheck disable=SC2046
cc -o "$work/host" "$work/host.c" $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs pelsbus)
LD_LIBRARY_PATH=$libdir "$work/host" || fail "pkg-config host"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop entry"
  update-desktop-database "$prefix/share/applications"
  grep -q '^application/x-pelkor=org.pelkor.Pelkor.desktop' "$prefix/share/applications/mimeinfo.cache" || fail "not the .pelk handler"
fi
if command -v update-mime-database >/dev/null; then
  update-mime-database "$prefix/share/mime" >/dev/null 2>&1
  grep -qx 'application/x-pelkor:\*.pelk' "$prefix/share/mime/globs" || fail "no *.pelk type"
fi
if command -v systemd-analyze >/dev/null; then
  mkdir -p "$work/units"
  # A prefix in the home folder: where systemd looks for the user's own units.
  unit=$prefix/share/systemd/user/pelkor@.service
  [[ -f $unit && ! -e $prefix/lib/systemd ]] || fail "user unit not in $prefix/share/systemd/user"
  cp "$unit" "$work/units/pelkor@plant.service"
  grep -q "^ExecStart=.*--headless --start.* \"$prefix/bin/pelkor\"\$" "$work/units/pelkor@plant.service" || fail "unit ExecStart"
  # The start condition, as systemd runs it ($$ is a literal $).
  cond=$(sed -n "s/^ExecCondition=\/bin\/sh -c '\(.*\)'\$/\1/p" "$unit" | sed 's/\$\$/$/g')
  [[ -n $cond ]] || fail "unit has no start condition"
  msg=$(env -i HOME="$home" PELKOR_JOB=nojob sh -c "$cond" 2>&1) && fail "condition passed without a start file"
  [[ $msg == *"no start file $data/nojob.pelk"* ]] || fail "condition message: $msg"
  env -i HOME="$home" PELKOR_JOB=plant sh -c "$cond" 2>/dev/null && fail "condition passed: plant.pelk is not in the data folder yet"
  cp "$job" "$data/plant.pelk"
  env -i HOME="$home" PELKOR_JOB=plant sh -c "$cond" || fail "condition refused $data/plant.pelk"
  env -i HOME="$home" XDG_DATA_HOME="$work/xdg" PELKOR_JOB=plant sh -c "$cond" 2>/dev/null && fail "condition ignores XDG_DATA_HOME"
  SYSTEMD_LOG_LEVEL=err systemd-analyze verify --man=no "$work/units/pelkor@plant.service" || fail "unit"
fi
echo "install test passed"
