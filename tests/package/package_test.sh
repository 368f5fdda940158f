#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package as a user gets it: built with CPack from an existing build folder, unpacked
# into a temporary root, its programs run from there against the simulated site it ships, its
# manual pages rendered, and lintian asked for errors.
#   tests/package/package_test.sh [BUILD]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=$(cd "${1:-${TICKORA_BUILD_DIR:-$ROOT/build}}" && pwd)
TOOLS=(lintian man-db scdoc dpkg-dev file appstream desktop-file-utils)

passed=0
failed=0
log=/dev/null
check() {
  local name=$1; shift
  : >"$log"
  if "$@" >>"$log" 2>&1; then
    passed=$((passed + 1))
    printf '  ok    %s\n' "$name"
  else
    failed=$((failed + 1))
    printf '  FAIL  %s\n' "$name"
    tail -n 20 "$log" | sed 's/^/    /'
  fi
}

missing=()
for p in "${TOOLS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
    || { DEBIAN_FRONTEND=noninteractive $sudo apt-get update -qq &&
         DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; }
fi

# The manual pages need scdoc, which the build may have been configured without.
cmake "$BUILD" >/dev/null
cmake --build "$BUILD" --target tickora tickora-cli tickora-site man debian_changelog >/dev/null
rm -f "$BUILD"/package/tickora_*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null 2>&1) || { echo "cpack failed" >&2; exit 1; }
deb=$(ls "$BUILD"/package/tickora_*_*.deb)
echo "package: $deb"

work=$(mktemp -d)
site_pid=""
cleanup() {
  [ -n "$site_pid" ] && kill "$site_pid" 2>/dev/null && wait "$site_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
root=$work/root
log=$work/check.log
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin

version=$(sed -n 's/^project(Tickora VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
check "the file is named tickora_<version>_<arch>.deb" \
  test "$(basename "$deb")" = "tickora_${version}_$(dpkg --print-architecture).deb"

expected=(
  usr/bin/tickora usr/bin/tickora-cli usr/bin/tickora-site
  usr/share/applications/tickora.desktop
  usr/share/metainfo/org.tickora.Tickora.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/tickora.svg
  usr/share/icons/hicolor/128x128/apps/tickora.png
  usr/share/icons/hicolor/32x32/apps/tickora.png
  usr/share/tickora/market.csv
  usr/share/doc/tickora/Documents/index.html
  usr/share/doc/tickora/copyright usr/share/doc/tickora/changelog.gz
  usr/share/man/man1/tickora.1.gz usr/share/man/man1/tickora-cli.1.gz
  usr/share/man/man1/tickora-site.1.gz
  usr/lib/systemd/user/tickora-fetch.service usr/lib/systemd/user/tickora-fetch.timer
  usr/lib/systemd/user/tickora-daily.service usr/lib/systemd/user/tickora-daily.timer
  usr/share/bash-completion/completions/tickora-cli
)
all_there() {
  local f
  for f in "${expected[@]}"; do
    [ -f "$root/$f" ] || { echo "    missing $f"; return 1; }
  done
}
check "it holds every file a user needs" all_there
depends=$(dpkg-deb -f "$deb" Depends)
check "Depends comes from the binaries (shlibdeps)" \
  bash -c '[[ $1 == *libtomlplusplus3* && $1 == *libqt6widgets6* && $1 == *libcurl4* ]]' _ "$depends"
check "it recommends a Japanese font and Qt's translations" \
  bash -c '[[ $1 == *fonts-noto-cjk* && $1 == *qt6-translations-l10n* ]]' _ "$(dpkg-deb -f "$deb" Recommends)"
check "the copyright file is GPL-3.0+ in the machine-readable format" \
  bash -c 'grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" "$1" &&
           grep -q "^License: GPL-3.0+" "$1" && ! grep -qi "rights reserved" "$1"' \
  _ "$root/usr/share/doc/tickora/copyright"
check "the user unit runs the installed tickora-cli" \
  grep -qx 'ExecStart=/usr/bin/tickora-cli --wait fetch' "$root/usr/lib/systemd/user/tickora-fetch.service"
check "the routine's user unit runs the installed tickora-cli daily" \
  grep -qx 'ExecStart=/usr/bin/tickora-cli --wait daily' "$root/usr/lib/systemd/user/tickora-daily.service"
check "the bash completion parses" bash -n "$root/usr/share/bash-completion/completions/tickora-cli"

# Every program run from the unpacked root, as a first start: an empty home, an empty folder.
home=$work/home
empty=$work/empty
mkdir -p "$home" "$empty"
run() {
  (cd "$empty" && env -u TICKORA_HOME -u XDG_DATA_HOME -u DISPLAY -u WAYLAND_DISPLAY \
    $(env | sed -n 's/^\(TICKORA_[A-Z_]*\)=.*/-u \1/p') HOME="$home" "$@")
}
check "tickora-cli --version" bash -c '[ "$("$1" --version)" = "Tickora v$2" ]' _ "$bin/tickora-cli" "$version"
check "tickora-cli --help" bash -c '"$1" --help | grep -q "^usage: tickora-cli"' _ "$bin/tickora-cli"
check "tickora --version without a display" bash -c 'env -u DISPLAY "$1" --version | grep -qx "Tickora v$2"' _ "$bin/tickora" "$version"
check "tickora --help without a display" bash -c 'env -u DISPLAY "$1" --help | grep -q "^usage: tickora"' _ "$bin/tickora"

"$bin/tickora-site" --port 0 --stocks 120 >"$work/site.out" 2>"$work/site.err" &
site_pid=$!
for _ in $(seq 1 100); do
  [ -s "$work/site.out" ] && break
  sleep 0.05
done
site="http://127.0.0.1:$(head -n 1 "$work/site.out")"
user=$home/.local/share/tickora
check "tickora-site from the package serves" test -s "$work/site.out"
check "fetchlist on a first start" run "$bin/tickora-cli" --site "$site" fetchlist
check "the per-user folder got the installed market.csv" \
  cmp -s "$user/market.csv" "$root/usr/share/tickora/market.csv"
check "fetch there ends with status 0" run "$bin/tickora-cli" --site "$site" fetch
check "the daily quote file is written" bash -c 'ls "$1"/DS*.DAT >/dev/null 2>&1' _ "$user"
check "the desktop program starts there offscreen" \
  run env QT_QPA_PLATFORM=offscreen "$bin/tickora" --site "$site" --quit-when-shown

man_renders() {
  local page=$1 out warnings
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || return 1
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null) || return 1
  [ -z "$warnings" ] || { echo "    $warnings"; return 1; }
  grep -q '^NAME' <<<"$out" && grep -q '^EXIT STATUS' <<<"$out" && grep -q '^EXAMPLES' <<<"$out"
}
for page in "$root"/usr/share/man/man1/*.1.gz; do
  check "man -l renders $(basename "$page")" man_renders "$page"
done

lintian_clean() {
  local report
  report=$(lintian --fail-on error "$deb" 2>/dev/null) || { echo "$report"; return 1; }
  # Warnings may stay; they are shown, not counted.
  [ -z "$report" ] || echo "$report" | sed 's/^/    /' >&3
}
check "desktop-file-validate accepts the menu entry" \
  desktop-file-validate "$root/usr/share/applications/tickora.desktop"
check "appstreamcli validates the AppStream metadata" \
  appstreamcli validate --no-net "$root/usr/share/metainfo/org.tickora.Tickora.metainfo.xml"
check "the package recommends a Japanese font and Qt's translations" \
  bash -c 'dpkg-deb -f "$1" Recommends | grep -q fonts-noto-cjk &&
           dpkg-deb -f "$1" Recommends | grep -q qt6-translations-l10n' _ "$deb"
check "lintian reports no error" lintian_clean 3>&1

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
