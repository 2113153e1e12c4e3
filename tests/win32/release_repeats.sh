#!/bin/sh
# Makes the Windows release twice from the configured build folder BUILD (scripts/windows.sh
# configures it with SOURCE_DATE_EPOCH) and checks that the two zips are the same bytes, and that
# the first carries the project version in its version resources and right checksums. Before
# the second, everything that carries a date or a link time is made anew: the shipped products'
# image tables (the build stamp), the resources and the executables, a second later than the
# first. Only those are rebuilt, not the whole Windows build.
#   release_repeats.sh BUILD
set -eu
build=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/trevane-release.XXXXXX")
trap 'rm -rf "$work"' EXIT

release() {
    cmake --build "$build" --target windows_release >"$work/build.log" 2>&1 ||
        { cat "$work/build.log"; exit 1; }
}

release
version=$(sed -n 's/^#define TREVANE_VERSION "\(.*\)"$/\1/p' "$build/generated/trevane_version.h")
zip="$build/release/trevane-$version-windows-x64.zip"
folder=${zip%.zip}
[ -f "$zip" ] || { echo "release_repeats: no $zip"; exit 1; }
cp "$zip" "$work/first.zip"

# The first release's folder: the project version in every executable's version resource, the
# checksums right, the operator's README with CRLF line ends only.
python3 "$(dirname "$0")/version_resource.py" "$version" "$folder"/*/*.exe || exit 1
(cd "$folder" && sha256sum --quiet -c SHA256SUMS) || { echo "release_repeats: SHA256SUMS"; exit 1; }
if ! python3 -c 'import sys; d = open(sys.argv[1], "rb").read()
sys.exit(not d.endswith(b"\r\n") or d.count(b"\n") != d.count(b"\r\n") or d.count(b"\r") != d.count(b"\r\n"))' \
    "$folder/README.txt"; then
    echo "release_repeats: README.txt does not end every line with CRLF"
    exit 1
fi

products=$(ls "$folder" | while read -r entry; do [ -d "$folder/$entry" ] && echo "$entry"; done)
[ -n "$products" ] || { echo "release_repeats: no product folder in $folder"; exit 1; }
for product in $products; do
    rm -f "$build/products/$product/product_data.cpp" "$build/bin/$product/trevane.exe" \
          "$build/bin/$product/trevane-cli.exe"
done
find "$build/src/main" -name '*.rc.res' -exec rm -f {} +
sleep 1
release
grep -q "product_data.cpp" "$work/build.log" ||
    { echo "release_repeats: the second build did not make the image tables anew"; exit 1; }
cp "$zip" "$work/second.zip"

if cmp -s "$work/first.zip" "$work/second.zip"; then
    echo "release_repeats: $(basename "$zip") is the same bytes both times ($(wc -c <"$zip") bytes, sha256 $(sha256sum <"$zip" | cut -c1-16)...)"
    exit 0
fi
echo "release_repeats: the two builds differ:"
mkdir "$work/a" "$work/b"
python3 -m zipfile -e "$work/first.zip" "$work/a" && python3 -m zipfile -e "$work/second.zip" "$work/b"
diff -r "$work/a" "$work/b" || true
exit 1
