#!/usr/bin/env bash
# The Debian package: a Release build of the "package" preset (windowed programs, no tests),
# installed by CPack into build/package/packages/trevane_<version>_amd64.deb, whose contents are
# then checked (tests/package/check_deb.sh): the file list, the desktop entries, the AppStream
# metadata, the manual pages, the programs themselves, and lintian's verdict.
#   scripts/package.sh            build the package and check its contents
#   scripts/package.sh --check    the same, then install it into a clean Debian root made with
#                                 debootstrap (cached under build/package-check), run it there,
#                                 purge it and check that nothing of it is left
# Dates in the package (build stamp, manual pages, release entry) are those of the last commit
# unless SOURCE_DATE_EPOCH says otherwise. The preset does not make warnings errors: GCC 12 at
# -O3 reports false ones inside the standard library (the ci preset holds the code to -Werror).
source "$(dirname "$0")/setup.sh"

check_root=false
case "${1:-}" in
    "") ;;
    --check) check_root=true ;;
    *) echo "usage: scripts/package.sh [--check]" >&2; exit 2 ;;
esac

ensure_packages "${TREVANE_PACKAGES[@]}" dpkg-dev desktop-file-utils appstream groff-base man-db \
    lintian
$check_root && ensure_packages debootstrap

cd "$TREVANE_ROOT"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH

echo "== package build (Release)"
build_preset package
version=$(sed -n 's/^#define TREVANE_VERSION "\(.*\)"$/\1/p' build/package/generated/trevane_version.h)
deb="build/package/packages/trevane_${version}_amd64.deb"
rm -f "$deb"
(cd build/package && cpack -G DEB >/dev/null)
[ -f "$deb" ] || { echo "package.sh: cpack made no $deb" >&2; exit 1; }
echo "package: $deb"

echo "== package contents"
bash tests/package/check_deb.sh "$deb" "$version"

if $check_root; then
    echo "== install into a clean Debian root"
    bash tests/package/install_check.sh "$TREVANE_ROOT/$deb" "$version" "$TREVANE_ROOT/build/package-check"
fi
