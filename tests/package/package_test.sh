#!/usr/bin/env bash
# The Debian package, checked the way a user's machine meets it.
#   package_test.sh BUILD_DIR SOURCE_DIR VERSION STEP
# STEP "build" makes the package into BUILD_DIR/package-test; every other step examines that package.
set -euo pipefail
build=$1 source=$2 version=$3 step=$4
work="$build/package-test"
arch=$(dpkg --print-architecture)
deb="$work/nimo_${version}_${arch}.deb"
id=example.kestrelward.Nimo

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_eq() { [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"; }

# The package unpacked into a fresh temporary root, removed when the step ends.
unpack() {
    root=$(mktemp -d)
    trap 'rm -rf "$root"' EXIT
    dpkg-deb -x "$deb" "$root"
}

case $step in
build)
    rm -rf "$work"
    mkdir -p "$work"
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log" >&2; fail "cpack failed"; }
    [ -f "$deb" ] || fail "no $(basename "$deb") in $work: $(ls "$work")"
    ;;
files)
    # Every file, its mode and owner; folders are left out.
    listing=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort -k3)
    expected=$(sort -k3 <<LIST
-rwxr-xr-x root/root ./usr/bin/nimo
-rwxr-xr-x root/root ./usr/bin/nimo-decode
-rw-r--r-- root/root ./usr/share/applications/$id.desktop
-rw-r--r-- root/root ./usr/share/metainfo/$id.metainfo.xml
-rw-r--r-- root/root ./usr/share/man/man1/nimo.1.gz
-rw-r--r-- root/root ./usr/share/man/man1/nimo-decode.1.gz
-rw-r--r-- root/root ./usr/share/doc/nimo/copyright
-rw-r--r-- root/root ./usr/share/doc/nimo/changelog.gz
$(for s in 16 24 48 64 128 256; do echo "-rw-r--r-- root/root ./usr/share/icons/hicolor/${s}x$s/apps/nimo.png"; done)
LIST
)
    [ "$listing" = "$expected" ] || fail "file list differs:$(diff <(echo "$expected") <(echo "$listing") || true)"
    ;;
control)
    field() { dpkg-deb -f "$deb" "$1"; }
    expect_eq Package "$(field Package)" nimo
    expect_eq Version "$(field Version)" "$version"
    expect_eq Architecture "$(field Architecture)" "$arch"
    expect_eq Section "$(field Section)" x11
    expect_eq Priority "$(field Priority)" optional
    # The homepage is the product page on the host the program's own links use.
    host=$(sed -n 's/.*kPublisherHost\[\] = "\(.*\)";/\1/p' "$source/share/PublisherPages.h")
    [ -n "$host" ] || fail "no publisher host in share/PublisherPages.h"
    expect_eq Homepage "$(field Homepage)" "http://$host/en/zezoverida.html"
    [[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer '$(field Maintainer)' is not 'Name <address>'"
    description=$(field Description)
    [[ $(head -n1 <<<"$description") =~ ^[a-z].{9,79}$ ]] || fail "Description has no short synopsis line"
    [ "$(wc -l <<<"$description")" -ge 3 ] || fail "Description has no long text"
    [ -n "$(field Installed-Size)" ] || fail "no Installed-Size"
    # Run-time libraries only: computed from the binaries, never a development package.
    depends=$(field Depends)
    for library in libc6 libstdc++6 libjpeg62-turbo libqt6core6 libqt6gui6 libqt6widgets6; do
        [[ ", $depends," == *", $library "* ]] || fail "Depends lacks $library: $depends"
    done
    [[ $depends != *-dev* && $depends != *cmake* && $depends != *gtest* ]] || fail "build-only Depends: $depends"
    ;;
run)
    unpack
    mkdir -p "$root/home"
    # No display, no Qt platform, a fresh home: help and version must answer without either.
    run() {
        env -i PATH=/usr/bin:/bin HOME="$root/home" XDG_CONFIG_HOME="$root/home/.config" \
            XDG_RUNTIME_DIR="$root/home" LC_ALL=C "$@"
    }
    expect_eq "nimo --version" "$(run "$root/usr/bin/nimo" --version)" "Nimo $version"
    usage=$(run "$root/usr/bin/nimo" --help)
    [[ $usage == Usage:\ nimo* ]] || fail "nimo --help printed: $usage"
    [ -z "$(find "$root/home" -mindepth 1)" ] || fail "help or version wrote: $(find "$root/home" -mindepth 1)"
    expect_eq "nimo-decode of a frame" "$(run "$root/usr/bin/nimo-decode" "$source/resources/frames/frame-000.jpg" \
        "$root/frame.pam")" "70 180 32"
    expect_eq "frame header" "$(head -c 70 "$root/frame.pam" | head -n 5 | tr '\n' ' ')" \
        "P7 WIDTH 70 HEIGHT 180 DEPTH 4 MAXVAL 255 "
    expect_eq "nimo-decode of a built-in frame" "$(run "$root/usr/bin/nimo-decode" --resource 228)" "70 180 32"
    # The menu entry starts the installed program and names an installed icon; the metadata's release
    # is the package's version.
    entry="$root/usr/share/applications/$id.desktop"
    exec=$(sed -n 's/^Exec=//p' "$entry") icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -x "$root/usr/bin/$exec" ] || fail "Exec=$exec is not an installed program"
    [ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "Icon=$icon is not an installed icon"
    grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" ||
        fail "the AppStream release is not $version"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$root/usr/share/metainfo/$id.metainfo.xml" ||
        fail "the AppStream launchable is not the installed desktop entry"
    ;;
validate)
    unpack
    out=$(desktop-file-validate "$root/usr/share/applications/$id.desktop" 2>&1) || fail "desktop-file-validate: $out"
    [ -z "$out" ] || fail "desktop-file-validate: $out"
    appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" ||
        fail "appstreamcli validate"
    ;;
man)
    unpack
    usage=$(env -i "$root/usr/bin/nimo" --help)
    for page in nimo nimo-decode; do
        file="$root/usr/share/man/man1/$page.1.gz"
        warnings=$(zcat "$file" | groff -ww -man -Tutf8 -z 2>&1)
        [ -z "$warnings" ] || fail "$page(1): $warnings"
        # mandoc's lint down to its style remarks (lines over 80 bytes, empty blocks).
        warnings=$(zcat "$file" | mandoc -T lint -W style 2>&1) || fail "mandoc -T lint $page(1): $warnings"
        [ -z "$warnings" ] || fail "mandoc -T lint $page(1): $warnings"
        text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" 2>&1) || fail "man -l $page: $text"
        for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS'; do
            grep -q "^$section" <<<"$text" || fail "$page(1) has no $section"
        done
    done
    # Every option the usage text lists is described in the page.
    text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$root/usr/share/man/man1/nimo.1.gz" | sed 's/\x1b\[[0-9;]*m//g')
    for option in $(grep -o -- ' -[-A-Za-z]*' <<<"$usage" | sort -u); do
        grep -q -- "$option" <<<"$text" || fail "nimo(1) does not describe $option"
    done
    ;;
lintian)
    # Errors and warnings fail; informational tags are listed only.
    lintian --fail-on error,warning --display-info "$deb"
    ;;
*)
    fail "unknown step $step"
    ;;
esac
