#!/usr/bin/env bash
# Builds the Debian packages of a built tree with CPack, unpacks them into a scratch
# root with dpkg -x and runs the unpacked player from there. Checks the package names,
# that dpkg-shlibdeps filled in Depends, and that the binaries are stripped.
# Usage: test-package.sh BUILD_DIR
set -euo pipefail

build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "test-package: $*" >&2; exit 1; }

(cd "$build" && cpack -B "$work/packages" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log"; fail "cpack failed"; }

root=$work/root
for name in velox-player libvelox0 libvelox-dev; do
    deb=$(find "$work/packages" -maxdepth 1 -name "${name}_*.deb" | head -1)
    [ -n "$deb" ] || fail "no $name package (made: $(ls "$work/packages"))"
    dpkg-deb --info "$deb" >/dev/null || fail "$name is not a valid package"
    dpkg -x "$deb" "$root"
    eval "deb_${name//-/_}=\$deb"
done

# dpkg-shlibdeps: the player and the library depend on the system libraries they link.
# shellcheck disable=SC2154 # set by the eval above
for deb in "$deb_velox_player" "$deb_libvelox0"; do
    depends=$(dpkg-deb -f "$deb" Depends)
    [[ $depends == *libc6* && $depends == *libsdl2* ]] ||
        fail "$(basename "$deb"): Depends lacks the shared libraries: '$depends'"
done
# shellcheck disable=SC2154
[[ $(dpkg-deb -f "$deb_libvelox_dev" Depends) == *libvelox0* ]] ||
    fail "libvelox-dev does not depend on libvelox0"

for f in usr/bin/velox-player usr/bin/vla usr/bin/make-demo usr/include/velox/velox.h \
         usr/share/man/man1/velox-player.1 usr/share/applications/velox-player.desktop \
         usr/share/bash-completion/completions/velox-player \
         usr/share/bash-completion/completions/vla usr/share/doc/velox-player/LICENSE \
         usr/share/doc/libvelox-dev/examples/hello/hello.cpp; do
    [ -e "$root/$f" ] || fail "no $f in the packages"
done
so=$(find "$root/usr" -name 'libvelox.so.0*' -type f | head -1)
[ -n "$so" ] || fail "libvelox0 holds no libvelox.so.0"
for f in "$root/usr/bin/velox-player" "$root/usr/bin/vla" "$so"; do
    ! readelf -S "$f" | grep -q '\.symtab' || fail "$(basename "$f") is not stripped"
done

version=$("$root/usr/bin/velox-player" --version) || fail "the unpacked player does not run"
[[ $version == "velox-player "* ]] || fail "unexpected version line: $version"
echo "test-package: $(cd "$work/packages" && ls ./*.deb | tr '\n' ' ')unpacked and ran: $version"
