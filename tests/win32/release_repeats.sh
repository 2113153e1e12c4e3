#!/bin/sh
# Makes the Windows release twice from the configured build folder BUILD (scripts/windows.sh
# configures it with SOURCE_DATE_EPOCH) and checks that the two zips and the two installers are
# the same bytes, and that the first carries the project version in its version resources and
# right checksums. Before the second, everything that carries a date or a link time is made anew:
# the shipped products' image tables (the build stamp), the resources and the executables, a
# second later than the first. Only those are rebuilt, not the whole Windows build.
# Then a third time, signed with a throwaway certificate: each program and the installer must
# verify against it, a program must be the unsigned one but for its signature, the installer must
# hold the signed programs. Last, the unsigned release again, as the build had it.
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
msi="$build/release/trevane-$version-x64.msi"
if [ ! -f "$zip" ] || [ ! -f "$msi" ]; then
    echo "release_repeats: no $zip or $msi"
    exit 1
fi
cp "$zip" "$work/first.zip"
cp "$msi" "$work/first.msi"
cp -r "$folder" "$work/unsigned"

# The first release's folder: the project version in every executable's version resource, the
# checksums right, the operator's README with CRLF line ends only.
python3 "$(dirname "$0")/version_resource.py" "$version" "$folder"/*/*.exe || exit 1
sums() {
    if ! (cd "$folder" && sha256sum --quiet -c SHA256SUMS) || ! (cd "$build/release" &&
        [ "$(wc -l <SHA256SUMS)" = 2 ] && sha256sum --quiet -c SHA256SUMS); then
        echo "release_repeats: SHA256SUMS"
        exit 1
    fi
}
sums
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
          "$build/bin/$product/trevane-station.exe" "$build/bin/$product/trevane-cli.exe"
done
find "$build/src/main" -name '*.rc.res' -exec rm -f {} +
sleep 1
release
grep -q "product_data.cpp" "$work/build.log" ||
    { echo "release_repeats: the second build did not make the image tables anew"; exit 1; }
cp "$zip" "$work/second.zip"

if ! cmp -s "$work/first.zip" "$work/second.zip"; then
    echo "release_repeats: the two builds differ:"
    mkdir "$work/a" "$work/b"
    python3 -m zipfile -e "$work/first.zip" "$work/a" && python3 -m zipfile -e "$work/second.zip" "$work/b"
    diff -r "$work/a" "$work/b" || true
    exit 1
fi
cmp -s "$work/first.msi" "$msi" || { echo "release_repeats: the two installers differ"; exit 1; }
for file in "$zip" "$msi"; do
    echo "release_repeats: $(basename "$file") is the same bytes both times" \
        "($(wc -c <"$file") bytes, sha256 $(sha256sum <"$file" | cut -c1-16)...)"
done

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Trevane test signing" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
TREVANE_SIGN_CERT="$work/cert.pem" TREVANE_SIGN_KEY="$work/key.pem" release
sums
msiextract -C "$work/installer" "$msi" >/dev/null
python3 -m zipfile -e "$zip" "$work/zip"
# What a signature signs: the file's digest, without the signature.
signed_data() { rm -f "$2" && osslsigncode extract-data -h sha256 -in "$1" -out "$2" >/dev/null; }
for file in "$msi" "$folder"/*/*.exe; do
    osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify" 2>&1 ||
        { cat "$work/verify"; echo "release_repeats: $file is not signed"; exit 1; }
    [ "$file" = "$msi" ] && continue
    name=${file#"$folder"/}
    if ! signed_data "$file" "$work/a.der" || ! signed_data "$work/unsigned/$name" "$work/b.der" ||
        ! cmp -s "$work/a.der" "$work/b.der"; then
        echo "release_repeats: signed $name is not the unsigned one"
        exit 1
    fi
    if ! cmp -s "$file" "$work/installer/Trevane/$name" ||
        ! cmp -s "$file" "$work/zip/${folder##*/}/$name"; then
        echo "release_repeats: the installer or the zip holds another $name"
        exit 1
    fi
done
echo "release_repeats: signed, each program and the installer verify against the certificate"
release
