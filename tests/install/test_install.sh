#!/usr/bin/env bash
# Installs into a temporary DESTDIR and uses the installation as an administrator would: the desktop
# entry and metainfo validate, both programs answer --version without a display, and the installed
# filterctl reads a demo .xls and converts an Access file through the installed readers, not the
# build tree's (taken away to prove it). Arguments: the build folder and the source folder.
set -euo pipefail
build=$1
source=$2
dest=$(mktemp -d)
aside="$build/bin/filter-xls-reader.aside"
mdb_aside="$build/bin/filter-mdb-reader.aside"
restore() {
    [ ! -e "$aside" ] || mv "$aside" "$build/bin/filter-xls-reader"
    [ ! -e "$mdb_aside" ] || mv "$mdb_aside" "$build/bin/filter-mdb-reader"
}
trap 'rm -rf "$dest"; restore' EXIT
fail() { echo "FAIL: $*"; echo "0 passed, 1 failed"; exit 1; }

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
app=org.filtercontrol.FilterControl
desktop-file-validate "$dest/usr/share/applications/$app.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$dest/usr/share/metainfo/$app.metainfo.xml" >/dev/null || fail "metainfo"
for file in share/icons/hicolor/scalable/apps/$app.svg share/icons/hicolor/48x48/apps/$app.png \
            share/man/man1/filter.1.gz share/man/man1/filterctl.1.gz share/doc/filter-control/copyright \
            share/doc/filter-control/changelog.gz libexec/filter-control/filter-xls-reader \
            libexec/filter-control/filter-mdb-reader; do
    [ -e "$dest/usr/$file" ] || fail "$file is not installed"
done
[ "$(env -u DISPLAY QT_QPA_PLATFORM=none "$dest/usr/bin/filter" --version)" = "filter 1.0" ] || fail "filter --version"
[ "$("$dest/usr/bin/filterctl" --version)" = "filterctl 1.0" ] || fail "filterctl --version"

cp "$build/samples/System_Configurations.sqlite" "$dest/db.sqlite"
mv "$build/bin/filter-xls-reader" "$aside" # the build tree's reader is out of reach
out=$("$dest/usr/bin/filterctl" --db "$dest/db.sqlite" apply --dry-run --package "FITC - TRITC" \
      "$source/samples/Filter_Configurations.xls") || fail "the installed filterctl: $out"
grep -q "positions would change" <<<"$out" || fail "no changes listed: $out"
rm "$dest/usr/libexec/filter-control/filter-xls-reader"
if err=$("$dest/usr/bin/filterctl" --db "$dest/db.sqlite" apply --dry-run --package "FITC - TRITC" \
         "$source/samples/Filter_Configurations.xls" 2>&1); then
    fail "read without its reader"
fi
grep -q "$dest/usr/libexec/filter-control/filter-xls-reader" <<<"$err" || fail "the message names no path: $err"
access="$source/../shared/reference/access/DateTestDatabase.mdb"
if [ -e "$access" ]; then
    mv "$build/bin/filter-mdb-reader" "$mdb_aside"
    out=$("$dest/usr/bin/filterctl" import-mdb "$access" "$dest/dates.sqlite" || true)
    grep -q '"DateTest": 6 rows' <<<"$out" || fail "the installed filterctl does not convert: $out"
fi
# The snapshot service and timer are installed as systemd reads them (where systemd is at hand).
units="$dest/usr/lib/systemd/system"
[ -f "$units/filter-control-snapshot.service" ] && [ -f "$units/filter-control-snapshot.timer" ] ||
    fail "the snapshot service and timer are not installed"
if command -v systemd-analyze >/dev/null; then
    verified=$(systemd-analyze verify --man=no "$units/filter-control-snapshot.timer" "$units/filter-control-snapshot.service" 2>&1 |
        grep -v "filterctl.*is not executable\|Command /usr/bin/filterctl is not executable" || true)
    [ -z "$verified" ] || fail "systemd-analyze verify: $verified"
fi
# Debian's checker accepts the package, where it is installed (the build tree's readers back in place).
restore
if command -v lintian >/dev/null && command -v cpack >/dev/null; then
    (cd "$build" && cpack -G DEB >/dev/null) || fail "the package does not build"
    findings=$(lintian --tag-display-limit 0 "$build"/filter-control_*.deb 2>/dev/null | grep -E '^[EW]:' || true)
    [ -z "$findings" ] || fail "lintian: $findings"
fi
echo "1 passed, 0 failed"
