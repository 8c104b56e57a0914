#!/usr/bin/env bash
# Builds the Debian package, installs it, checks the installed programs and removes it again.
# Run as root on Debian 12 (the package is installed system-wide with apt-get).
#
#   packaging/test-deb.sh [BUILD_DIR]
#
# BUILD_DIR is configured, built and packaged (Release, no tests); without it a temporary folder
# is used and deleted afterwards. JOBS sets the build's parallel jobs (default: half the cores).
#
# Checks: the programs run through their links in /usr/bin; the window starts with the offscreen
# platform without missing libraries; the desktop entry validates (if desktop-file-validate is
# there); /opt/tarvel-update-utility belongs to the group dialout with mode 2775, so a member of
# dialout who is not root can add an image; and the command line program, started through its
# link and without --folder, finds that image in /opt/tarvel-update-utility and flashes it into
# the module simulator. At the end the package, and anything apt-get installed along with it, is
# removed again.
set -euo pipefail

package=tarvel-update-utility
appdir=/opt/tarvel-update-utility
source_dir=$(cd "$(dirname "$0")/.." && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok:   $*"; }

[ "$(id -u)" = 0 ] || fail "run as root (the package is installed with apt-get)"
command -v apt-get >/dev/null || fail "apt-get not found: this test needs Debian"
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'installed'; then
  fail "$package is already installed; remove it first (this test removes what it installs)"
fi

work=$(mktemp -d)
chmod 755 "$work"
if [ $# -ge 1 ]; then
  build_dir=$(mkdir -p "$1" && cd "$1" && pwd)
  own_build_dir=
else
  build_dir=$work/build
  own_build_dir=1
fi
installed=
sim_pid=
extra_packages=()

cleanup() {
  local status=$?
  set +e
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -f "$appdir/DVB-GEN-package-test.bin"
  if [ -n "$installed" ]; then
    echo "== Removing the package"
    apt-get remove -y "$package" >"$work/remove.log" 2>&1 || cat "$work/remove.log" >&2
    if [ ${#extra_packages[@]} -gt 0 ]; then
      echo "   and what it pulled in: ${extra_packages[*]}"
      apt-get purge -y "${extra_packages[@]}" >>"$work/remove.log" 2>&1 || cat "$work/remove.log" >&2
    fi
    if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'installed'; then
      echo "FAIL: $package is still installed" >&2; status=1
    fi
    for left in "$appdir" /usr/bin/tarvel-update-utility /usr/bin/tarvel-update \
                /usr/bin/tarvel-module-sim /usr/share/applications/$package.desktop \
                /usr/share/icons/hicolor/scalable/apps/$package.svg; do
      if [ -e "$left" ] || [ -L "$left" ]; then
        echo "FAIL: $left is left behind" >&2; status=1
      fi
    done
  fi
  rm -rf "$work"
  [ -n "$own_build_dir" ] && rm -rf "$build_dir"
  if [ "$status" = 0 ]; then
    echo "PASS: package built, installed, checked and removed"
  else
    echo "FAILED (status $status)" >&2
  fi
  exit "$status"
}
trap cleanup EXIT

echo "== Building the package in $build_dir"
jobs=${JOBS:-$(( $(nproc) / 2 > 0 ? $(nproc) / 2 : 1 ))}
cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTARVEL_BUILD_TESTS=OFF >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; fail "configure"; }
nice cmake --build "$build_dir" -j "$jobs" >"$work/build.log" 2>&1 || { tail -40 "$work/build.log" >&2; fail "build"; }
rm -f "$build_dir/${package}"_*.deb
(cd "$build_dir" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack"; }
debs=("$build_dir/${package}"_*.deb)
{ [ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ]; } || fail "no single ${package}_*.deb in $build_dir"
deb=${debs[0]}
pass "$(basename "$deb"), $(stat -c %s "$deb") bytes"
echo "   Depends: $(dpkg-deb -f "$deb" Depends)"

echo "== Installing it"
dpkg-query -W -f='${Package}\n' | sort >"$work/before.txt"
installed=1
(cd "$build_dir" && apt-get install -y "./$(basename "$deb")") >"$work/install.log" 2>&1 \
  || { cat "$work/install.log" >&2; fail "apt-get install"; }
dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^ii/ {print $2}' | sort >"$work/after.txt"
mapfile -t extra_packages < <(comm -13 "$work/before.txt" "$work/after.txt" | grep -vx "$package" || true)
pass "installed$([ ${#extra_packages[@]} -gt 0 ] && echo " with ${extra_packages[*]}")"

echo "== Checking the installation"
export XDG_CONFIG_HOME=$work/config   # the programs' settings go here, not into root's home
mkdir -p "$XDG_CONFIG_HOME"
chmod 777 "$XDG_CONFIG_HOME"

for program in tarvel-update-utility tarvel-update tarvel-module-sim; do
  [ -x "$appdir/$program" ] || fail "$appdir/$program missing"
  [ "$(readlink -f "/usr/bin/$program")" = "$appdir/$program" ] \
    || fail "/usr/bin/$program does not lead to $appdir/$program"
done
[ -f "$appdir/README.md" ] || fail "$appdir/README.md missing"
pass "programs and README.md in $appdir, links in /usr/bin"

/usr/bin/tarvel-update --help >"$work/help.txt" 2>&1 || { cat "$work/help.txt" >&2; fail "tarvel-update --help"; }
grep -q 'Usage:' "$work/help.txt" || fail "tarvel-update --help printed no usage"
pass "/usr/bin/tarvel-update --help"
/usr/bin/tarvel-module-sim --help >"$work/help.txt" 2>&1 || { cat "$work/help.txt" >&2; fail "tarvel-module-sim --help"; }
grep -q 'Usage:' "$work/help.txt" || fail "tarvel-module-sim --help printed no usage"
pass "/usr/bin/tarvel-module-sim --help"

window_status=0
QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/tarvel-update-utility \
  >"$work/window.out" 2>"$work/window.err" || window_status=$?
if grep -q 'error while loading shared libraries' "$work/window.err" \
   || grep -qi 'could not load the Qt platform plugin' "$work/window.err" \
   || { [ "$window_status" != 0 ] && [ "$window_status" != 124 ]; }; then
  cat "$work/window.err" >&2
  fail "tarvel-update-utility did not start (exit status $window_status)"
fi
pass "tarvel-update-utility starts offscreen (ended by timeout: $([ "$window_status" = 124 ] && echo yes || echo no))"

desktop=/usr/share/applications/$package.desktop
[ -f "$desktop" ] || fail "$desktop missing"
grep -qx "Exec=$appdir/tarvel-update-utility" "$desktop" || fail "$desktop: Exec is not $appdir/tarvel-update-utility"
[ -f /usr/share/icons/hicolor/scalable/apps/$package.svg ] || fail "icon missing"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
  pass "desktop entry and icon; desktop-file-validate has no complaint"
else
  pass "desktop entry and icon (desktop-file-validate not installed: not validated)"
fi

[ "$(stat -c '%G %a' "$appdir")" = "dialout 2775" ] \
  || fail "$appdir is $(stat -c '%G %a' "$appdir"), not dialout 2775"
pass "$appdir: group dialout, mode 2775"

# A technician: not root, member of dialout (here: nobody with dialout as an extra group).
as_technician() {
  setpriv --reuid=nobody --regid=nogroup --groups=dialout -- env HOME="$work" "$@"
}
if command -v setpriv >/dev/null && command -v python3 >/dev/null; then
  python3 "$source_dir/scripts/make-sample-image" "$work/sample.bin" 1
  chmod 644 "$work/sample.bin"
  image=$appdir/DVB-GEN-package-test.bin
  as_technician cp "$work/sample.bin" "$image" || fail "a member of dialout cannot add an image"
  [ "$(stat -c %G "$image")" = dialout ] || fail "an added image does not belong to dialout"
  pass "a member of dialout (not root) adds an image; it belongs to dialout"

  mkdir -m 777 "$work/sim"
  exec 3< <(exec setpriv --reuid=nobody --regid=nogroup --groups=dialout -- \
    /usr/bin/tarvel-module-sim --announce UP --flash "$work/sim/flash.bin" --exit-when-done \
    2>"$work/sim/sim.log")
  sim_pid=$!
  device=
  read -r -t 10 -u 3 device || true
  [ -n "$device" ] || { cat "$work/sim/sim.log" >&2; fail "the module simulator did not start"; }
  # No --folder: the program looks in its own folder, which the link in /usr/bin leads to.
  as_technician /usr/bin/tarvel-update update --port "$device" --timeout 60 >"$work/update.log" 2>&1 \
    || { cat "$work/update.log" >&2; fail "tarvel-update update through /usr/bin did not flash the image"; }
  grep -q "^Image: $image\$" "$work/update.log" \
    || { cat "$work/update.log" >&2; fail "tarvel-update did not take the image from $appdir"; }
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
  cmp -s "$work/sample.bin" "$work/sim/flash.bin" || fail "the simulated module's flash differs from the image"
  rm -f "$image"
  pass "/usr/bin/tarvel-update finds the image in $appdir and flashes it into the simulator"
else
  echo "skip: setpriv or python3 missing: adding and flashing an image not tried"
fi
