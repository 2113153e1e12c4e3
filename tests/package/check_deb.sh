#!/usr/bin/env bash
# Checks a built Debian package: check_deb.sh DEB VERSION
#  - its control fields: name, version, architecture, and dependencies found from the libraries
#    the programs link (the Qt and C libraries must be among them);
#  - its file list, modes and owners against tests/package/expected-files.txt;
#  - unpacked: every desktop entry passes desktop-file-validate and names a program and an icon
#    of the package; the AppStream metadata passes appstreamcli validate --no-net and its
#    launchables and binaries are in the package; every manual page renders without a warning and
#    every program has one; the programs are stripped, and trevane-cli runs and shows VERSION;
#  - lintian finds no error and no warning.
set -euo pipefail
deb=$1
version=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/trevane-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = trevane ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), not $version"
[ "$(field Architecture)" = amd64 ] || fail "Architecture is $(field Architecture)"
depends=$(field Depends)
names=$(tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }')
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
    grep -qxF "$lib" <<<"$names" || fail "Depends lacks $lib: $depends"
done

# The file list: mode, owner and path (and a link's target), sorted.
dpkg-deb -c "$deb" | awk '{ $3 = $4 = $5 = ""; print }' | sed 's/   */ /' | sort -k3 >"$work/files"
if ! diff -u "$here/expected-files.txt" "$work/files" >"$work/files.diff"; then
    fail "the file list differs from tests/package/expected-files.txt:"
    cat "$work/files.diff"
fi

root="$work/root"
dpkg-deb -x "$deb" "$root"
share="$root/usr/share"

for entry in "$share"/applications/*.desktop; do
    name=$(basename "$entry")
    desktop-file-validate "$entry" >"$work/validate" 2>&1 || true
    [ -s "$work/validate" ] && { fail "desktop-file-validate $name:"; cat "$work/validate"; }
    program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [ -x "$root/usr/bin/$program" ] || fail "$name starts $program, which is not in the package"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "$name: no icon $icon.svg"
    grep -q '\\P' "$entry" && fail "$name starts the program with \\P"
done

metainfo=("$share"/metainfo/*.metainfo.xml)
[ ${#metainfo[@]} -eq 1 ] || fail "expected one AppStream file, found ${#metainfo[@]}"
if ! appstreamcli validate --no-net "${metainfo[0]}" >"$work/appstream" 2>&1; then
    fail "appstreamcli validate --no-net:"
    cat "$work/appstream"
fi
grep -q "<release version=\"$version\"" "${metainfo[0]}" || fail "the metainfo has no release $version"
grep -q '<screenshot type="default">' "${metainfo[0]}" || fail "the metainfo has no screenshot"
for id in $(sed -n 's/.*<launchable type="desktop-id">\(.*\)<\/launchable>.*/\1/p' "${metainfo[0]}"); do
    [ -f "$share/applications/$id" ] || fail "launchable $id is not in the package"
done
for program in $(sed -n 's/.*<binary>\(.*\)<\/binary>.*/\1/p' "${metainfo[0]}"); do
    [ -x "$root/usr/bin/$program" ] || fail "binary $program is not in the package"
done

for program in "$root"/usr/bin/*; do
    name=$(basename "$program")
    page="$share/man/man1/$name.1.gz"
    [ -e "$page" ] || fail "$name has no manual page"
    readelf -S "$program" | grep -q '\.symtab' && fail "$name is not stripped"
done
for page in "$share"/man/man1/*.gz; do
    [ -L "$page" ] && continue
    name=$(basename "$page")
    zcat "$page" | groff -t -man -Tutf8 -ww -z >"$work/groff" 2>&1 || true
    [ -s "$work/groff" ] && { fail "groff warns on $name:"; cat "$work/groff"; }
    LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" >"$work/man.txt" 2>"$work/man.err" || fail "man -l $name failed"
    [ -s "$work/man.err" ] && { fail "man -l $name:"; cat "$work/man.err"; }
    grep -q "^NAME" "$work/man.txt" || fail "man -l $name shows no NAME section"
done
man -l "$share/man/man1/trevane-cli.1.gz" 2>/dev/null | grep -q "EXIT STATUS" ||
    fail "trevane-cli(1) has no EXIT STATUS section"

cli="$root/usr/bin/trevane-cli"
shown=$("$cli" --version) || fail "trevane-cli --version failed"
[[ "$shown" == "trevane-cli $version - "* ]] || fail "trevane-cli --version says: $shown"
"$cli" --list-images >"$work/images" || fail "trevane-cli --list-images failed"
[ -s "$work/images" ] || fail "trevane-cli --list-images listed nothing"

lintian --fail-on error,warning "$deb" >"$work/lintian" 2>"$work/lintian.err" ||
    { fail "lintian:"; cat "$work/lintian" "$work/lintian.err"; }

if [ "$failures" -ne 0 ]; then
    echo "package check: $failures failed"
    exit 1
fi
echo "package check: $(wc -l <"$work/files") entries, all checks passed"
