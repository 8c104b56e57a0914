#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it, checks the installed programs,
# removes and purges it; then checks the upgrade from the package of the earlier layout, which
# kept the programs and the images in /opt/tarvel-update-utility. Run as root on Debian 12 (the
# packages are installed system-wide with apt-get).
#
#   packaging/test-deb.sh [BUILD_DIR]
#
# BUILD_DIR is configured, built and packaged (Release, no tests); without it a temporary folder
# is used and deleted afterwards. JOBS sets the build's parallel jobs (default: half the cores).
# TARVEL_SKIP_UPGRADE=1 leaves the upgrade check out (it builds the earlier package too).
#
# Checks:
#   the package: lintian reports no error and no warning; nothing lies under /opt.
#   installed:   the three programs run from /usr/bin (--help, --version); the window starts
#                with the offscreen platform without missing libraries; the desktop entry and
#                the package's own AppStream metainfo (dpkg -L, whatever other programs put in
#                /usr/share/metainfo) validate; `man -w` finds the three manual pages and
#                `man tarvel-update` shows the exit status, the port names and a production-line
#                run; bash-completion loads the completion of tarvel-update from
#                /usr/share/bash-completion/completions and it completes the commands, options,
#                ports, folders and files (packaging/test-completion.sh --installed);
#                /var/lib/tarvel-update-utility belongs to the group dialout with mode 2775,
#                so a member of dialout who is not root adds an image there, and
#                /usr/bin/tarvel-update, without --folder, finds that image and flashes it into
#                the module simulator; /etc/tarvel-update-utility/trusted-keys is the package's,
#                root's, mode 755 and empty.
#   removed:     nothing of the package is left but the image the technician added; purged:
#                that is gone too.
#   upgraded:    the earlier package (commit bd6e03e) with an image added to
#                /opt/tarvel-update-utility, then this package over it: the image is in
#                /var/lib/tarvel-update-utility and /opt/tarvel-update-utility is gone.
# At the end anything apt-get installed along with the packages is removed again.
set -euo pipefail

package=tarvel-update-utility
images=/var/lib/tarvel-update-utility
old_folder=/opt/tarvel-update-utility
old_commit=bd6e03e
programs=(tarvel-update-utility tarvel-update tarvel-module-sim)
source_dir=$(cd "$(dirname "$0")/.." && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok:   $*"; }
package_state() { dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null | tr -d ' '; }

[ "$(id -u)" = 0 ] || fail "run as root (the package is installed with apt-get)"
command -v apt-get >/dev/null || fail "apt-get not found: this test needs Debian"
[ -z "$(package_state)" ] || [ "$(package_state)" = un ] \
  || fail "$package is installed ($(package_state)); purge it first (this test purges what it installs)"

"$source_dir/scripts/install-deps"
# fonts-urw-base35 brings another program's AppStream file, de.urwpp.URWCoreFontSetLevel2, which
# sorts before this package's: the metainfo check must find the package's own, as on a desktop.
tools=(lintian man-db appstream desktop-file-utils dpkg-dev file bash-completion fonts-urw-base35)
missing=()
for tool in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$tool" 2>/dev/null | grep -q "install ok installed" || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== Installing the tools of this test: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi
if grep -rqs '^path-exclude=*/usr/share/man' /etc/dpkg/dpkg.cfg.d/; then
  fail "dpkg is set to leave out manual pages (path-exclude in /etc/dpkg/dpkg.cfg.d)"
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
sim_pid=
dpkg-query -W -f='${Package}\n' | sort >"$work/before.txt"

# Anything this test installed, the package and what apt-get pulled in along with it, is purged.
purge_everything() {
  local extra
  dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^ii/ {print $2}' | sort >"$work/after.txt"
  mapfile -t extra < <(comm -13 "$work/before.txt" "$work/after.txt" | grep -vx "$package" || true)
  if [ -n "$(package_state)" ] && [ "$(package_state)" != un ]; then
    apt-get purge -y "$package" >>"$work/remove.log" 2>&1 || cat "$work/remove.log" >&2
  fi
  if [ ${#extra[@]} -gt 0 ]; then
    echo "   removing what came with it: ${extra[*]}"
    apt-get purge -y "${extra[@]}" >>"$work/remove.log" 2>&1 || cat "$work/remove.log" >&2
  fi
}

cleanup() {
  local status=$?
  set +e
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  purge_everything
  rm -rf "$work"
  [ -n "$own_build_dir" ] && rm -rf "$build_dir"
  if [ "$status" = 0 ]; then
    echo "PASS: package built, checked, installed, removed and purged$(
      [ "${TARVEL_SKIP_UPGRADE:-}" = 1 ] && echo "; upgrade not checked" || echo "; upgrade checked")"
  else
    echo "FAILED (status $status)" >&2
  fi
  exit "$status"
}
trap cleanup EXIT

# build_package SOURCE BUILD: configures, builds and packages; prints the .deb's path.
build_package() {
  local jobs=${JOBS:-$(( $(nproc) / 2 > 0 ? $(nproc) / 2 : 1 ))}
  cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVEL_BUILD_TESTS=OFF \
    >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; fail "configure $1"; }
  nice cmake --build "$2" -j "$jobs" >"$work/build.log" 2>&1 \
    || { tail -40 "$work/build.log" >&2; fail "build $1"; }
  rm -f "$2/${package}"_*.deb
  (cd "$2" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack"; }
  local debs=("$2/${package}"_*.deb)
  { [ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ]; } || fail "no single ${package}_*.deb in $2"
  echo "${debs[0]}"
}

install_deb() {
  (cd "$(dirname "$1")" && apt-get install -y "./$(basename "$1")") >"$work/install.log" 2>&1 \
    || { cat "$work/install.log" >&2; fail "apt-get install $1"; }
}

# A technician: not root, member of dialout (here: nobody with dialout as an extra group).
as_technician() {
  setpriv --reuid=nobody --regid=nogroup --groups=dialout -- env HOME="$work" "$@"
}

echo "== Building the package in $build_dir"
deb=$(build_package "$source_dir" "$build_dir")
pass "$(basename "$deb"), $(stat -c %s "$deb") bytes"
echo "   Depends: $(dpkg-deb -f "$deb" Depends)"

echo "== Checking the package"
dpkg-deb -c "$deb" >"$work/contents.txt"
if grep -q ' \./opt/' "$work/contents.txt"; then
  grep ' \./opt/' "$work/contents.txt" >&2
  fail "the package holds files under /opt"
fi
pass "nothing under /opt"
lintian_status=0
lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 || lintian_status=$?
grep -v 'running with root privileges is not recommended' "$work/lintian.txt" | sed 's/^/   lintian: /' || true
[ "$lintian_status" = 0 ] || fail "lintian reports errors or warnings (exit status $lintian_status)"
pass "lintian: no error, no warning"

echo "== Installing it"
install_deb "$deb"
pass "installed"

echo "== Checking the installation"
export XDG_CONFIG_HOME=$work/config   # the programs' settings go here, not into root's home
mkdir -p "$XDG_CONFIG_HOME"
chmod 777 "$XDG_CONFIG_HOME"

for program in "${programs[@]}"; do
  [ -f "/usr/bin/$program" ] && [ -x "/usr/bin/$program" ] && [ ! -L "/usr/bin/$program" ] \
    || fail "/usr/bin/$program is not an executable file"
  "/usr/bin/$program" --help >"$work/help.txt" 2>&1 </dev/null \
    || { cat "$work/help.txt" >&2; fail "$program --help"; }
  grep -q 'Usage:' "$work/help.txt" || fail "$program --help printed no usage"
  [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "/usr/bin/$program" --version)" = "$program 1.0.0" ] \
    || fail "$program --version does not say \"$program 1.0.0\""
done
pass "the programs in /usr/bin answer --help and --version (without a display)"
[ -f /usr/share/doc/$package/README.md ] || fail "/usr/share/doc/$package/README.md missing"
[ -f /usr/share/doc/$package/copyright ] || fail "/usr/share/doc/$package/copyright missing"
for guide in README window command-line troubleshooting; do
  [ -f /usr/share/doc/$package/docs/$guide.md ] || fail "/usr/share/doc/$package/docs/$guide.md missing"
done
[ -f /usr/share/doc/$package/docs/window.png ] || fail "/usr/share/doc/$package/docs/window.png missing"
pass "README.md, its guides in docs/ and copyright in /usr/share/doc/$package"

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
grep -qx "Exec=tarvel-update-utility" "$desktop" || fail "$desktop: Exec is not tarvel-update-utility"
[ -f /usr/share/icons/hicolor/scalable/apps/$package.svg ] || fail "icon missing"
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
# The package's own metainfo, whatever other programs have put beside it.
mapfile -t metainfo < <(dpkg -L "$package" | grep '^/usr/share/metainfo/.*\.metainfo\.xml$')
[ ${#metainfo[@]} = 1 ] || fail "the package holds ${#metainfo[@]} metainfo files, not one: ${metainfo[*]}"
others=$(find /usr/share/metainfo -name '*.xml' ! -path "${metainfo[0]}" | wc -l)
[ "$others" -gt 0 ] || fail "no other AppStream file in /usr/share/metainfo: nothing shows that the package's own is the one checked"
grep -q "<launchable type=\"desktop-id\">$package.desktop</launchable>" "${metainfo[0]}" \
  || fail "${metainfo[0]} does not name $package.desktop"
appstreamcli validate --no-net --pedantic "${metainfo[0]}" >"$work/appstream.txt" 2>&1 \
  || { cat "$work/appstream.txt" >&2; fail "appstreamcli validate ${metainfo[0]}"; }
pass "desktop entry, icon and $(basename "${metainfo[0]}") validate ($others other AppStream files beside it)"

for program in "${programs[@]}"; do
  page=$(man -w "$program" 2>/dev/null) || fail "man -w $program finds no manual page"
  [ "$page" = "/usr/share/man/man1/$program.1.gz" ] || fail "man -w $program: $page"
done
MANWIDTH=100 man tarvel-update >"$work/man.txt" 2>&1 || { cat "$work/man.txt" >&2; fail "man tarvel-update"; }
for wanted in 'EXIT STATUS' 'PORT NAMES' 'COM1 is /dev/ttyS0' 'COM3=/dev/ttyUSB0' \
              'tarvel-update update --port /dev/ttyUSB0 --transcript wire.txt --timeout 600' \
              "$images"; do
  grep -qF -- "$wanted" "$work/man.txt" || { cat "$work/man.txt" >&2; fail "man tarvel-update does not show: $wanted"; }
done
pass "man -w finds the three pages; man tarvel-update shows exit status, port names, a production-line run"

completion=/usr/share/bash-completion/completions/tarvel-update
[ -f "$completion" ] || fail "$completion missing"
"$source_dir/packaging/test-completion.sh" --installed >"$work/completion.txt" 2>&1 \
  || { cat "$work/completion.txt" >&2; fail "the installed bash completion"; }
pass "bash-completion loads $completion; $(tail -n 1 "$work/completion.txt")"

[ "$(stat -c '%G %a' "$images")" = "dialout 2775" ] \
  || fail "$images is $(stat -c '%G %a' "$images"), not dialout 2775"
pass "$images: group dialout, mode 2775"

keys=/etc/tarvel-update-utility/trusted-keys
[ "$(stat -c '%U %G %a' "$keys")" = "root root 755" ] \
  || fail "$keys is $(stat -c '%U %G %a' "$keys" 2>&1), not root root 755"
[ -z "$(ls -A "$keys")" ] || fail "$keys is not empty: $(ls -A "$keys")"
dpkg -S "$keys" >/dev/null 2>&1 || fail "$keys does not belong to the package"
pass "$keys: root's, mode 755, empty, the package's"

python3 "$source_dir/scripts/make-sample-image" "$work/sample.bin" 1
chmod 644 "$work/sample.bin"
image=$images/DVB-GEN-package-test.bin
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
# No --folder: a program in /usr/bin looks for its images in /var/lib/tarvel-update-utility.
as_technician /usr/bin/tarvel-update update --port "$device" --timeout 60 >"$work/update.log" 2>&1 \
  || { cat "$work/update.log" >&2; fail "tarvel-update update through /usr/bin did not flash the image"; }
grep -q "^Image: $image\$" "$work/update.log" \
  || { cat "$work/update.log" >&2; fail "tarvel-update did not take the image from $images"; }
wait "$sim_pid" 2>/dev/null || true
sim_pid=
cmp -s "$work/sample.bin" "$work/sim/flash.bin" || fail "the simulated module's flash differs from the image"
pass "/usr/bin/tarvel-update finds the image in $images and flashes it into the simulator"

echo "== Removing the package"
dpkg -L "$package" >"$work/owned.txt"
apt-get remove -y "$package" >"$work/remove.log" 2>&1 || { cat "$work/remove.log" >&2; fail "apt-get remove"; }
[ "$(package_state)" = rc ] || fail "after apt-get remove $package is in state $(package_state), not rc"
while read -r path; do
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # Folders of this package alone go; shared ones (/usr/bin, ...) stay for the others.
    case "$path" in
      "$images") ;;  # keeps the technician's image until the package is purged
      */$package | */$package/*) fail "$path is left behind" ;;
    esac
  elif [ -e "$path" ] || [ -L "$path" ]; then
    fail "$path is left behind"
  fi
done <"$work/owned.txt"
[ "$(ls -A "$images")" = "$(basename "$image")" ] \
  || fail "after removal $images holds '$(ls -A "$images" | tr '\n' ' ')', not just the added image"
pass "removed: nothing left but the technician's image in $images"
apt-get purge -y "$package" >>"$work/remove.log" 2>&1 || { cat "$work/remove.log" >&2; fail "apt-get purge"; }
{ [ -z "$(package_state)" ] || [ "$(package_state)" = un ]; } || fail "purged, but dpkg still knows $package"
[ ! -e "$images" ] || fail "purged, but $images is left behind"
pass "purged: $images is gone too"

if [ "${TARVEL_SKIP_UPGRADE:-}" = 1 ]; then
  echo "skip: upgrade from the earlier layout (TARVEL_SKIP_UPGRADE=1)"
  exit 0
fi

echo "== Upgrading from the earlier layout (package of $old_commit)"
git -C "$source_dir" cat-file -e "$old_commit^{commit}" 2>/dev/null \
  || fail "commit $old_commit is not in this clone (a shallow clone?); TARVEL_SKIP_UPGRADE=1 leaves the check out"
mkdir "$work/old-source"
git -C "$source_dir" archive "$old_commit" | tar -x -C "$work/old-source"
old_deb=$(build_package "$work/old-source" "$work/old-build")
install_deb "$old_deb"
[ -x "$old_folder/tarvel-update" ] || fail "the earlier package did not install into $old_folder"
old_image=$old_folder/DVB-GEN-added-by-technician.bin
as_technician cp "$work/sample.bin" "$old_image" || fail "a member of dialout cannot add an image to $old_folder"
pass "earlier package installed; a technician's image added to $old_folder"

install_deb "$deb"
[ "$(package_state)" = ii ] || fail "after the upgrade $package is in state $(package_state)"
moved=$images/$(basename "$old_image")
cmp -s "$work/sample.bin" "$moved" || fail "the technician's image is not in $images after the upgrade"
[ ! -e "$old_folder" ] || fail "$old_folder is left after the upgrade: $(ls -A "$old_folder" | tr '\n' ' ')"
[ "$(stat -c '%G %a' "$images")" = "dialout 2775" ] || fail "$images is not dialout 2775 after the upgrade"
[ -f /usr/bin/tarvel-update ] && [ ! -L /usr/bin/tarvel-update ] || fail "/usr/bin/tarvel-update is still a link"
pass "upgraded: the image moved to $images, $old_folder is gone"
