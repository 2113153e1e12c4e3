#!/usr/bin/env bash
# Installs the Debian package into a clean Debian root and takes it out again:
#   install_check.sh DEB VERSION CACHE
# The root is made with debootstrap (minbase, this machine's release and mirrors) the first time
# and kept as CACHE/<release>-base.tar; each run starts from a fresh copy in CACHE/root.
#  1. dpkg -i, and apt-get -f install for the dependencies; the programs find every library they
#     link, trevane-cli --version shows VERSION, --list-images lists images, the desktop entry
#     and its icon are in place. dpkg --purge then leaves none of the package's files.
#  2. With the dependencies now present: the root's file list before dpkg -i and after
#     dpkg --purge must be the same.
set -euo pipefail
deb=$1
version=$2
cache=$3
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
base="$cache/$release-base.tar"
root="$cache/root"
mkdir -p "$cache"

# This machine's Debian sources for the release (and its -updates and -security suites).
sources() {
    apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' |
        awk -v r="$release" '$2 == r || index($2, r "-") == 1 { print "deb " $0 }' | sort -u
}

in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}

cleanup() {
    mountpoint -q "$root/proc" && umount "$root/proc"
    return 0
}
trap cleanup EXIT

if [ ! -f "$base" ]; then
    mirror=$(sources | awk -v r="$release" '$3 == r { print $2; exit }')
    [ -n "$mirror" ] || { echo "install_check: no Debian source for $release" >&2; exit 1; }
    echo "install_check: making a clean $release root (debootstrap, once)"
    rm -rf "$cache/base.tmp"
    debootstrap --variant=minbase "$release" "$cache/base.tmp" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
        { tail -20 "$cache/debootstrap.log" >&2; exit 1; }
    sources >"$cache/base.tmp/etc/apt/sources.list"
    chroot "$cache/base.tmp" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin apt-get update -qq
    chroot "$cache/base.tmp" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin apt-get clean
    tar -C "$cache/base.tmp" -cf "$base.tmp" . && mv "$base.tmp" "$base"
    rm -rf "$cache/base.tmp"
fi

rm -rf "$root"
mkdir -p "$root"
tar -C "$root" -xf "$base"
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/trevane.deb"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The file list, with type and mode; not the states of apt and dpkg, their logs or /tmp.
listing() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./tmp -o -path ./var/log \
        -o -path ./var/cache/apt -o -path ./var/lib/apt/lists \) -prune -o -printf '%y %m %p\n') |
        sort
}

echo "-- dpkg -i"
if ! in_root dpkg -i /tmp/trevane.deb >"$cache/dpkg.log" 2>&1; then
    grep -E "depends on|dependency problems" "$cache/dpkg.log" | sort -u | head -20
    echo "-- apt-get -f install (the dependencies)"
    in_root apt-get -f install -y -qq -o=Dpkg::Use-Pty=0 >"$cache/apt.log" 2>&1 ||
        { tail -30 "$cache/apt.log"; exit 1; }
    grep -c "^Setting up" "$cache/apt.log" | sed 's/^/packages set up: /'
fi
in_root dpkg-query -W -f='${Package} ${Version} ${Status}\n' trevane
[ "$(in_root dpkg-query -W -f='${Status}' trevane)" = "install ok installed" ] ||
    fail "trevane is not installed"

for program in $(in_root dpkg -L trevane | grep '^/usr/bin/'); do
    missing=$(in_root ldd "$program" | grep 'not found' || true)
    [ -z "$missing" ] || fail "$program: $missing"
done
echo "\$ trevane-cli --version"
shown=$(in_root trevane-cli --version) || fail "trevane-cli --version failed"
echo "$shown"
[[ "$shown" == "trevane-cli $version - "* ]] || fail "not version $version"
echo "\$ trevane-cli --list-images"
in_root trevane-cli --list-images || fail "trevane-cli --list-images failed"
entry=/usr/share/applications/com.dravik.Trevane.desktop
if [ -f "$root$entry" ]; then
    icon=$(sed -n 's/^Icon=//p' "$root$entry")
    exec=$(sed -n 's/^Exec=//p' "$root$entry")
    echo "desktop entry: $entry (Exec=$exec, Icon=$icon)"
    [ -x "$root/usr/bin/$exec" ] || fail "the desktop entry starts $exec, which is not installed"
    icons=$(cd "$root" && find usr/share/icons/hicolor -name "$icon.*" | sort)
    echo "icon:" $icons
    [ -n "$icons" ] || fail "no icon $icon in the hicolor theme"
else
    fail "no desktop entry $entry"
fi

in_root dpkg -L trevane | sort >"$cache/owned"
echo "-- dpkg --purge"
in_root dpkg --purge trevane >/dev/null
while read -r path; do
    [ -e "$root$path" ] || [ -L "$root$path" ] || continue
    # Folders that other packages share (/usr/bin, /usr/share/man/man1...) stay.
    [ -d "$root$path" ] && in_root dpkg -S "$path" >/dev/null 2>&1 && continue
    fail "left after purge: $path"
done <"$cache/owned"

echo "-- again with the dependencies present: the file list before dpkg -i and after dpkg --purge"
listing >"$cache/before"
in_root dpkg -i /tmp/trevane.deb >/dev/null || fail "dpkg -i failed with the dependencies present"
installed=$(listing | comm -13 "$cache/before" - | wc -l)
echo "installed: $installed new entries"
in_root dpkg --purge trevane >/dev/null
listing >"$cache/after"
if diff -u "$cache/before" "$cache/after" >"$cache/listing.diff"; then
    echo "after purge: the root's $(wc -l <"$cache/after") entries are as before"
else
    fail "the root differs after purge:"
    cat "$cache/listing.diff"
fi

if [ "$failures" -ne 0 ]; then
    echo "install check: $failures failed"
    exit 1
fi
echo "install check: all passed"
