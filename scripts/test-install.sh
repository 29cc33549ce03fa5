#!/usr/bin/env bash
# Installs a configured and built Velox tree into a temporary prefix and builds
# examples/hello against it three ways: CMake with libvelox.so, CMake with libvelox.a,
# and pkg-config; then builds examples/headless and runs it. Needs no display: the only
# program run renders headless.
# Usage: test-install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "test-install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log"; fail "cmake --install failed"; }

libdir=$(dirname "$(find "$prefix" -name libvelox.a | head -1)")
[ -d "$libdir" ] || fail "no libvelox.a installed"
for f in include/velox/velox.h bin/velox-player bin/vla bin/make-demo \
         share/man/man1/velox-player.1 share/man/man1/vla.1; do
    [ -e "$prefix/$f" ] || fail "missing $f"
done
for f in libvelox.so libvelox.a pkgconfig/velox.pc cmake/Velox/VeloxConfig.cmake \
         cmake/Velox/VeloxConfigVersion.cmake; do
    [ -e "$libdir/$f" ] || fail "missing ${libdir#"$prefix"/}/$f"
done

# The shared library must carry the platform layer: nothing of velox left undefined.
undefined=$(nm -D -C --undefined-only "$libdir/libvelox.so" | grep -c 'velox::' || true)
[ "$undefined" -eq 0 ] || fail "libvelox.so leaves $undefined velox symbols undefined"

# The ABI: libvelox.so exports exactly the functions the public headers mark VELOX_API,
# under a SONAME with the major version.
declared=$(sed -n '/^#/!s/.*VELOX_API[^(]* \([A-Za-z0-9_]*\)(.*/\1/p' "$prefix"/include/velox/*.h | sort -u)
exported=$(nm -D -C --defined-only "$libdir/libvelox.so" | awk '$2 ~ /^[TWVDBRiu]$/' |
    cut -d' ' -f3- | sed 's/(.*//' | sort -u)
stray=$(comm -13 <(sed 's/^/velox::/' <<<"$declared") - <<<"$exported" | grep -v '^_init$\|^_fini$' || true)
[ -z "$stray" ] || fail "libvelox.so exports what no public header declares: $(head -5 <<<"$stray")"
unexported=$(comm -23 <(sed 's/^/velox::/' <<<"$declared") - <<<"$exported")
[ -z "$unexported" ] || fail "declared but not exported: $(head -5 <<<"$unexported")"
readelf -d "$libdir/libvelox.so" | grep -q 'SONAME.*libvelox\.so\.[0-9]*\]' ||
    fail "libvelox.so has no SONAME with the major version"

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
for variant in shared static; do
    static=OFF
    [ $variant = static ] && static=ON
    out=$work/hello-$variant
    cmake -S "$source/examples/hello" -B "$out" "${generator[@]}" \
        -DCMAKE_PREFIX_PATH="$prefix" -DVELOX_STATIC=$static >"$work/$variant.log" 2>&1 &&
        cmake --build "$out" >>"$work/$variant.log" 2>&1 || {
        cat "$work/$variant.log"; fail "examples/hello ($variant) did not build"; }
    if [ $variant = shared ]; then
        readelf -d "$out/hello" | grep -q 'NEEDED.*libvelox\.so' ||
            fail "hello ($variant) does not use libvelox.so"
    else
        ! readelf -d "$out/hello" | grep -q 'NEEDED.*libvelox' ||
            fail "hello ($variant) still needs a shared libvelox"
    fi
done

# The headless example renders N frames through the public headless API alone: N PNG
# files, no more, each a PNG and each different from the one before.
out=$work/headless-example
cmake -S "$source/examples/headless" -B "$out" "${generator[@]}" \
    -DCMAKE_PREFIX_PATH="$prefix" >"$work/headless.log" 2>&1 &&
    cmake --build "$out" >>"$work/headless.log" 2>&1 || {
    cat "$work/headless.log"; fail "examples/headless did not build"; }
frames=4
result=$(cd "$work" && "$out/headless" "$work/frames" $frames) ||
    fail "examples/headless failed: $result"
[ "$result" = "${result#frames=$frames }" ] && fail "examples/headless says: $result"
previous=
for n in $(seq 1 $frames); do
    png=$(printf '%s/frames/%06d.png' "$work" "$n")
    [ -f "$png" ] || fail "examples/headless wrote no ${png##*/}"
    [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
        fail "${png##*/} is not a PNG file"
    [ -z "$previous" ] || ! cmp -s "$previous" "$png" ||
        fail "${previous##*/} and ${png##*/} are the same picture"
    previous=$png
done
[ ! -e "$(printf '%s/frames/%06d.png' "$work" $((frames + 1)))" ] ||
    fail "examples/headless wrote more than $frames frames"
[ -f "$work/frames/frames.ffconcat" ] || fail "examples/headless wrote no frames.ffconcat"
[ ! -e "$work/Log.txt" ] || fail "examples/headless wrote Log.txt"

# velox.pc stands alone: no other package's .pc file is asked for, no foreign -I flag.
cflags=$(PKG_CONFIG_LIBDIR=$libdir/pkgconfig pkg-config --cflags velox) ||
    fail "pkg-config --cflags velox needs other packages' files"
cflags=$(xargs <<<"$cflags") # pkg-config ends its output with a space
[[ $cflags == -I* && $cflags != *" "* ]] &&
    [ "$(cd "${cflags#-I}" && pwd -P)" = "$(cd "$prefix/include" && pwd -P)" ] ||
    fail "velox.pc adds foreign flags: $cflags"
PKG_CONFIG_LIBDIR=$libdir/pkgconfig pkg-config --static --libs velox >/dev/null ||
    fail "pkg-config --static --libs velox needs other packages' files"

export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion velox)" = "$(sed -n 's/^Version: //p' "$libdir/pkgconfig/velox.pc")" ] ||
    fail "pkg-config does not find velox"
# shellcheck disable=SC2046 # the flags are meant to split
c++ -std=c++20 -o "$work/hello-pc" "$source/examples/hello/hello.cpp" \
    $(pkg-config --cflags --libs velox) || fail "hello does not build with pkg-config"
readelf -d "$work/hello-pc" | grep -q 'NEEDED.*libvelox\.so' ||
    fail "hello (pkg-config) does not use libvelox.so"
# shellcheck disable=SC2046
c++ -std=c++20 -o "$work/hello-pc-static" "$source/examples/hello/hello.cpp" \
    $(pkg-config --cflags velox) $(pkg-config --static --libs velox | sed 's/-lvelox\b/-l:libvelox.a/') ||
    fail "hello does not build statically with pkg-config"
echo "test-install: installed, hello built shared, static and with pkg-config, and" \
    "examples/headless rendered $frames frames"
