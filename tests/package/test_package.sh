#!/usr/bin/env bash
# The package as a user meets it. Builds the Debian packages once (cpack) and then:
#  - checks the user package's file list (the FHS layout, no developer tool, nothing of the
#    build tree), lintian (no errors), the desktop entry, the AppStream metainfo, the MIME
#    type and every binary's RUNPATH;
#  - unpacks it (dpkg -x) into a temporary root made read-only and runs it from there as a
#    non-root user, from other folders, against the simulated processor attached as COM 3:
#    korvane-s-cli program, then the GUI twice (the second run started from a third folder
#    with no argument must find the settings the first one saved); the processor must hold
#    exactly the image the build tree makes from the same settings, 20-band stages included;
#  - the build's stand-in firmware is refused without the developer switch (no byte sent)
#    and uploaded with it.
# Usage: test_package.sh BUILD_DIR SOURCE_DIR        (as root: it adds a user; exit 77 skips)
set -euo pipefail
build=$(realpath "$1")
src=$(realpath "$2")
bin=$build/bin
if [[ $(id -u) != 0 ]]; then
  echo "SKIP: needs root (useradd, runuser)"
  exit 77
fi

T=$(mktemp -d /tmp/korvane-package.XXXXXX)
chmod 755 "$T"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  chmod -R u+w "$T" 2>/dev/null || true
  rm -rf "$T"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }

step "building the packages"
cpack --config "$build/CPackConfig.cmake" -B "$T/pkg" >"$T/cpack.log" 2>&1 || { cat "$T/cpack.log"; fail "cpack"; }
deb=$(ls "$T"/pkg/korvane-s_*.deb)
dev=$(ls "$T"/pkg/korvane-s-dev_*.deb)
tgz=$(ls "$T"/pkg/korvane-s-[0-9]*.tar.gz)
echo "$(basename "$deb") $(basename "$dev") $(basename "$tgz")"
dpkg-deb -f "$deb" Depends | grep -c 'libqt6serialport6' >/dev/null || fail "Depends lacks the Qt libraries: $(dpkg-deb -f "$deb" Depends)"

step "file list"
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}' | sort >"$T/files"
for f in /usr/bin/korvane-s /usr/bin/korvane-s-cli "/usr/lib/$triplet/korvane-s/libkorvanes.so" \
  /usr/share/korvane-s/20Band /usr/share/korvane-s/korvane-s-help.html \
  /usr/share/applications/org.korvane.KorvaneS.desktop /usr/share/metainfo/org.korvane.KorvaneS.metainfo.xml \
  /usr/share/mime/packages/korvane-s.xml /usr/share/icons/hicolor/scalable/apps/korvane-s.svg \
  /usr/share/icons/hicolor/16x16/apps/korvane-s.png /usr/share/icons/hicolor/256x256/apps/korvane-s.png \
  /usr/share/man/man1/korvane-s.1.gz /usr/share/man/man1/korvane-s-cli.1.gz \
  /usr/share/bash-completion/completions/korvane-s-cli /usr/share/doc/korvane-s/copyright; do
  grep -qx "$f" "$T/files" || fail "the package lacks $f"
done
if grep -v '^/usr/' "$T/files"; then fail "files outside /usr"; fi
if grep -E 'korvane-s-sim|\.fwr$|filter\.bin|default\.min|_CPack|CMake' "$T/files"; then
  fail "developer tools or build files in the user package"
fi
dpkg-deb -c "$dev" | grep -c '/usr/bin/korvane-s-sim$' >/dev/null || fail "the developer package lacks the simulator"

step "lintian"
lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" "$dev" >"$T/lintian.txt" 2>&1 || {
  cat "$T/lintian.txt"
  fail "lintian reports errors"
}
cat "$T/lintian.txt"

step "desktop entry, AppStream metainfo, MIME type"
root=$T/root
dpkg -x "$deb" "$root"
dpkg -x "$dev" "$T/devroot"
desktop-file-validate "$root/usr/share/applications/org.korvane.KorvaneS.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.korvane.KorvaneS.metainfo.xml" || fail "appstreamcli validate"
mkdir -p "$T/mime/packages"
cp "$root/usr/share/mime/packages/korvane-s.xml" "$T/mime/packages/"
update-mime-database "$T/mime"
grep -q 'application/x-korvane-s-settings:\*\.min' "$T/mime/globs2" || fail "the MIME type has no *.min glob"
if grep -rlF "$build" "$root" "$T/devroot"; then fail "installed files name the build tree"; fi

step "RUNPATH of every binary"
while IFS= read -r -d '' f; do
  file -b "$f" | grep -q '^ELF' || continue
  while read -r path; do
    for p in ${path//:/ }; do
      [[ $p == '$ORIGIN'* || $p == /usr/* ]] || fail "$f has RUNPATH $p"
    done
    echo "${f#"$T"}: $path"
  done < <(readelf -d "$f" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]/\2/p')
done < <(find "$root" "$T/devroot" -type f -print0)

step "the unpacked program, read-only, as a user"
user=korvane-pkgtest
id -u "$user" >/dev/null 2>&1 || useradd -M -N -s /usr/sbin/nologin "$user"
chmod -R a-w "$root"
home=$T/home
mkdir -p "$home" "$T/ports" "$T/work1" "$T/work2" "$T/work3" "$T/sim" "$T/cfg" "$T/runtime"
chown "$user" "$home" "$T/ports" "$T/work1" "$T/work2" "$T/work3" "$T/sim" "$T/runtime"
chmod 700 "$T/runtime"
cp "$bin/korvane-s-sim" "$bin/korvanes.fwr" "$T/sim/"
# as_user DIR CMD...: CMD in DIR as the user, with a clean environment (no developer switch).
as_user() {
  local dir=$1
  shift
  (cd "$dir" && runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 \
    XDG_RUNTIME_DIR="$T/runtime" KORVANE_COM_DIR="$T/ports" ${EXTRA_ENV:-} "$@")
}
# start_sim NAME ARGS...: the simulated processor as the user; waits for its link.
start_sim() {
  local name=$1
  shift
  as_user "$T/sim" bash -c 'echo $$ >"$0.pid"; exec ./korvane-s-sim "$@"' "$T/sim/$name" --log "$T/sim/$name.log" \
    --image-out "$T/sim/$name-image.bin" --firmware-out "$T/sim/$name-firmware.bin" "$@" >"$T/sim/$name.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 200); do grep -q '^LINK' "$T/sim/$name.out" && break; sleep 0.1; done
  grep -q '^LINK' "$T/sim/$name.out" || { cat "$T/sim/$name.out"; fail "the simulated processor $name did not start"; }
}
stop_sim() {
  kill "$(cat "$T/sim/$1.pid")" 2>/dev/null || true
  sleep 0.3
}

[[ $(as_user "$T/work1" "$root/usr/bin/korvane-s" --version) == "korvane-s 1.0.0" ]] || fail "korvane-s --version"
[[ $(as_user "$T/work1" "$root/usr/bin/korvane-s-cli" --version) == "korvane-s-cli 1.0.0" ]] || fail "korvane-s-cli --version"

# Settings with 20-band stages in sets 0 and 3 and a spectral stage (which needs the private
# library) in set 0; COM 1 chosen, so discovery has to find the processor on COM 3. A stage
# block is 405 lines from line 3: type at +0, band cuts at +269..+288, spectral gains at +289.
"$bin/korvane-s-cli" new "$T/cfg/base.min" --port 1 >/dev/null
awk 'NR == 3 || NR == 2433 { $0 = "8" } NR == 408 { $0 = "9" }
     NR == 3 + 269 { $0 = "6" } NR == 3 + 280 { $0 = "24" } NR == 2433 + 275 { $0 = "40" }
     NR == 408 + 300 { $0 = "-12" } { printf "%s\r\n", $0 }' <(tr -d '\r' <"$T/cfg/base.min") >"$T/cfg/cfg.min"
chmod 644 "$T/cfg/cfg.min"
"$bin/korvane-s-cli" show "$T/cfg/cfg.min" | grep -c '20-Band Graphic Equalizer' >/dev/null || fail "the settings have no 20-band stage"
msgs=$(cd "$bin" && ./korvane-s-cli build-image "$T/cfg/cfg.min" -o "$T/cfg/expected.bin" 2>&1) || fail "build-image: $msgs"
[[ -z $msgs ]] || fail "the build tree's image had messages: $msgs"
[[ $(od -An -tu1 -j10 -N1 "$T/cfg/expected.bin" | tr -d ' ') == 0 ]] || fail "set 0 stage 1 is not a FIR stage in the expected image"

# The maker's firmware, as the user puts it: version 105, as the processor reports.
mkdir -p "$home/.local/share/korvane-s"
head -c 761856 /dev/zero >"$home/.local/share/korvane-s/korvanes.fwr"
printf '\001\005' | dd of="$home/.local/share/korvane-s/korvanes.fwr" bs=1 seek=761852 conv=notrunc status=none
chown -R "$user" "$home"

step "korvane-s-cli program"
start_sim com3 --com 3 --filters 4
as_user "$T/work1" "$root/usr/bin/korvane-s-cli" program "$T/cfg/cfg.min" --yes >"$T/cli.out" 2>&1 || {
  cat "$T/cli.out"
  fail "korvane-s-cli program"
}
cmp "$T/sim/com3-image.bin" "$T/cfg/expected.bin" || fail "the processor holds another image than the build makes"
cmp "$home/.local/state/korvane-s/filter.bin" "$T/cfg/expected.bin" || fail "filter.bin is not in the per-user state folder"
[[ -z $(ls -A "$T/work1") ]] || fail "files were left in the working folder: $(ls -A "$T/work1")"
[[ ! -e "$T/sim/com3-firmware.bin" ]] || fail "the firmware was reloaded"

step "the stand-in firmware"
start_sim com4 --com 4 --filters 4 --version 0104
if as_user "$T/work1" "$root/usr/bin/korvane-s-cli" program "$T/cfg/cfg.min" --port 4 --yes \
  --firmware "$T/sim/korvanes.fwr" >"$T/standin.out" 2>&1; then
  fail "the stand-in firmware was accepted without the developer switch"
fi
grep -q 'stand-in' "$T/standin.out" || { cat "$T/standin.out"; fail "no message about the stand-in"; }
grep -q 'Programming Aborted' "$T/standin.out" || fail "the run did not end as Programming Aborted"
if grep -q 'F P C' "$T/sim/com4.log"; then fail "the firmware reload was started"; fi
[[ ! -e "$T/sim/com4-firmware.bin" ]] || fail "firmware bytes reached the processor"
EXTRA_ENV=KORVANE_ALLOW_STANDIN_FIRMWARE=1 as_user "$T/work1" "$root/usr/bin/korvane-s-cli" program "$T/cfg/cfg.min" \
  --port 4 --yes --firmware "$T/sim/korvanes.fwr" >"$T/standin2.out" 2>&1 || {
  cat "$T/standin2.out"
  fail "the stand-in firmware was refused with the developer switch on"
}
cmp "$T/sim/com4-firmware.bin" "$T/sim/korvanes.fwr" || fail "the processor got other firmware bytes"
stop_sim com4

step "the program's window, twice"
exec 3>"$T/display"
Xvfb -displayfd 3 -ac -nolisten tcp -screen 0 1280x1024x24 >"$T/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
# A loaded machine (a sanitizer build beside the tests) can take several seconds to bring
# the server up: its first start compiles the keymap.
for _ in $(seq 300); do [[ -s "$T/display" ]] && break; sleep 0.1; done
[[ -s "$T/display" ]] || { cat "$T/xvfb.log"; fail "Xvfb did not start within 30 s"; }
export DISPLAY=:$(cat "$T/display")
# gui DIR [FILE]: the program as the user, driven like a person by tools/demo-drive.sh.
gui() {
  local dir=$1
  shift
  cat >"$T/gui.sh" <<GUI
#!/bin/bash
EXTRA_ENV="DISPLAY=$DISPLAY QT_QPA_PLATFORM=xcb"
$(declare -f as_user)
user=$user home=$home T=$T root=$root
as_user "$dir" "$root/usr/bin/korvane-s" $*
GUI
  chmod 755 "$T/gui.sh"
  DEMO_MAIN_TITLE=${title:-} bash "$src/tools/demo-drive.sh" "$T/gui.sh"
}
rm -f "$T/sim/com3-image.bin" "$home/.local/state/korvane-s/filter.bin"
title="Korvane-S : cfg.min" gui "$T/work2" "$T/cfg/cfg.min" || fail "programming from the window (settings opened by argument)"
cmp "$T/sim/com3-image.bin" "$T/cfg/expected.bin" || fail "the window sent another image than the build makes"
[[ -f "$home/.config/korvane-s/default.min" ]] || fail "no default.min in the per-user configuration folder"
[[ -z $(ls -A "$T/work2") ]] || fail "files were left in the working folder: $(ls -A "$T/work2")"

# From a third folder without an argument: the settings of the first run are back.
rm -f "$T/sim/com3-image.bin"
gui "$T/work3" || fail "programming from the window (settings from default.min)"
cmp "$T/sim/com3-image.bin" "$T/cfg/expected.bin" || fail "the second window run did not find the first run's settings"
stop_sim com3

step "portable tarball"
mkdir "$T/tar"
tar -xzf "$tgz" -C "$T/tar"
tarbin=$(find "$T/tar" -path '*/bin/korvane-s-cli')
[[ -n $tarbin && -f $(dirname "$tarbin")/../share/korvane-s/20Band ]] || fail "the tarball lacks the program or its data"
echo "PASS"
