#!/usr/bin/env bash
# Installs the build into a fresh prefix and uses it as others would: a CMake project and a
# pkg-config build against it, the installed workbench, and the prefix moved elsewhere; then, for a
# build that can be packaged, the Debian package's tree.
#   install-test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
source_dir="$(cd "$2" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/ornr-install.XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "install-test: $*" >&2; exit 1; }

# Stripped, so that what remains of the build folder in a file is a path compiled in.
cmake --install "$build" --prefix "$work/prefix" --strip >/dev/null
prefix="$work/prefix"
libdir="$(dirname "$(find "$prefix" -name 'libornrender.so.*' -type f | head -1)")"
[ -d "$libdir" ] || fail "no module installed"
for f in bin/rsm-workbench bin/rsm-audit include/ornr/ornr.h include/ornr/host/controls/HostControls.h \
  share/man/man1/rsm-workbench.1 share/man/man1/rsm-audit.1 share/doc/ornrender/LICENSE \
  share/bash-completion/completions/rsm-workbench; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
for f in libornrender.so.1 libornrender.so libornhost.so.1 libornpanel.so.1 cmake/ornr/ornrConfig.cmake \
  pkgconfig/ornr.pc pkgconfig/ornr-host.pc; do
  [ -e "$libdir/$f" ] || fail "missing $libdir/$f"
done

# Each library's file version starts with its SONAME's, as Debian's tools expect.
for lib in libornrender libornhost libornpanel; do
  target="$(readlink "$libdir/$lib.so.1")"
  [[ "$target" == "$lib.so.1."* && -f "$libdir/$target" ]] ||
    fail "$lib.so.1 points to $target, not to a $lib.so.1.* file"
done

# The Python package, where README says to point PYTHONPATH (when it was built).
python_dir="$prefix/lib/python3/dist-packages"
extension="$(find "$python_dir/ornr" -name '_ornr.*.so' 2>/dev/null | head -1)"
if [ -e "$source_dir/python/CMakeLists.txt" ] && [ -n "$(find "$build/python" -name '_ornr.*.so' 2>/dev/null)" ]; then
  [ -n "$extension" ] || fail "no Python extension under $python_dir/ornr"
  for f in __init__.py __init__.pyi py.typed; do
    [ -e "$python_dir/ornr/$f" ] || fail "missing $python_dir/ornr/$f"
  done
fi

# Every RUNPATH is relative to the binary; nothing reaches back into the build.
for f in "$prefix/bin/rsm-workbench" "$prefix/bin/rsm-audit" "$libdir"/lib*.so.1 $extension; do
  runpath="$(readelf -d "$f" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')"
  for entry in ${runpath//:/ }; do
    case "$entry" in '$ORIGIN'*) ;; *) fail "$f has RUNPATH entry $entry" ;; esac
  done
  ! grep -q "$build" "$f" || fail "$f holds the build path $build"
done

# Moved elsewhere, the tree still works: the workbench finds the module in its library folder.
mv "$prefix" "$work/moved"
prefix="$work/moved"
libdir="${libdir/$work\/prefix/$prefix}"
out="$("$prefix/bin/rsm-workbench" --master "$work/m.zel" -c 'host add "A b"' -c load -c list)"
grep -q 'list: master "A b"' <<<"$out" || fail "installed workbench did not run: $out"
"$prefix/bin/rsm-audit" "$work/m.zel" >"$work/out" || fail "installed rsm-audit: $(cat "$work/out")"
# Debian's Python finds the package through PYTHONPATH, and the package the host it links.
if [ -n "$extension" ]; then
  python="$(command -v /usr/bin/python3 || command -v python3)"
  out="$(cd "$work" && PYTHONPATH="$prefix/lib/python3/dist-packages" "$python" -c \
    'import ornr; f = ornr.open("m.zel"); print(ornr.__version__, list(f.setups))')"
  [ "$out" = "$(sed -n 's/^project(ornrender VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt") ['A b']" ] ||
    fail "installed Python package: $out"
fi
# The module finds its texts in other languages in its own folder, wherever the tree is.
out="$("$prefix/bin/rsm-workbench" --culture ja --master "$work/m.zel" -c 'new "A b"')"
grep -q 'panel: master setup "無題"' <<<"$out" || fail "no Japanese untitled name: $out"
[ -z "$(find "$libdir" -maxdepth 1 -name 'Localizable.*')" ] || fail "tables loose in $libdir"
"$prefix/bin/rsm-workbench" --module="$libdir/libornrender.so.1" -c list >/dev/null ||
  fail "--module=FILE not taken"
if "$prefix/bin/rsm-workbench" --module "$work/none.so" -c list >"$work/out" 2>&1; then
  fail "--module with a missing file ran"
fi
# A workbench copied away from any module says so instead of loading one from elsewhere.
mkdir "$work/alone" && cp "$prefix/bin/rsm-workbench" "$work/alone/"
if LD_LIBRARY_PATH="$libdir" "$work/alone/rsm-workbench" -c list >"$work/out" 2>&1; then
  fail "a workbench without a module ran"
fi
grep -q "no module found" "$work/out" || fail "no clear message: $(cat "$work/out")"

# A CMake project of someone else's.
cmake -S "$source_dir/tests/package/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_RPATH="$libdir" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/c-host"
"$work/consumer/cxx-host" "$work/consumer.zel"

# A plain C build through pkg-config, strict C11, with the files as installed, after the move.
resolved() { (cd "$1" 2>/dev/null && pwd -P); }
for pc in ornr ornr-host; do
  pc_libdir="$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --variable=libdir $pc)"
  pc_includedir="$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --variable=includedir $pc)"
  [ "$(resolved "$pc_libdir")" = "$(resolved "$libdir")" ] || fail "$pc.pc: libdir $pc_libdir"
  [ "$(resolved "$pc_includedir")" = "$(resolved "$prefix/include")" ] ||
    fail "$pc.pc: includedir $pc_includedir"
done
cflags_libs="$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs ornr)"
# shellcheck disable=SC2086
cc -std=c11 -pedantic -Wall -Werror "$source_dir/tests/package/consumer/c_host.c" $cflags_libs \
  -Wl,-rpath,"$libdir" -o "$work/c-host-pc"
"$work/c-host-pc"
# The Debian package's tree from the same build: the component Debian, which a full install leaves
# out. Its programs find their libraries, the module and its texts in the package's own folder.
if [ -f "$build/CPackConfig.cmake" ]; then
  if find "$prefix" -path '*/doc/rsm-workbench*' -o -path '*/lib/*/rsm-workbench*' | grep -q .; then
    fail "the Debian package's files in a full install"
  fi
  usr="$work/deb/usr"
  cmake --install "$build" --component Debian --prefix "$usr" >/dev/null
  private="$(dirname "$(find "$usr/lib" -name 'libornrender.so.1' | head -1)")"
  [[ "$private" == "$usr/lib/"*"/rsm-workbench" ]] || fail "Debian tree: the module in $private"
  [ ! -e "$usr/lib/libornrender.so.1" ] || fail "Debian tree: the module in lib/"
  out="$(env -u ORNR_MODULE "$usr/bin/rsm-workbench" --culture ja --master "$work/d.zel" \
    -c 'host add "A b"' -c load -c 'new "A b"')"
  grep -q 'panel: master setup "無題"' <<<"$out" || fail "Debian tree's workbench: $out"
  "$usr/bin/rsm-audit" "$work/d.zel" >"$work/out" || fail "Debian tree's rsm-audit: $(cat "$work/out")"
  deb_extension=""
  if [ -n "$extension" ]; then
    # Its extension finds the host in the package's folder: nothing of it lies in lib/.
    deb_extension="$(find "$usr/lib/python3/dist-packages/ornr" -name '_ornr.*.so' | head -1)"
    [ -n "$deb_extension" ] || fail "Debian tree: no Python extension"
    out="$(cd "$work" && PYTHONPATH="$usr/lib/python3/dist-packages" "$python" -c \
      'import ornr; print("A b" in ornr.open("d.zel").setups)')"
    [ "$out" = True ] || fail "Debian tree's Python package: $out"
  fi
  for f in "$usr/bin/rsm-workbench" "$usr/bin/rsm-audit" "$private"/lib*.so.1 $deb_extension; do
    ! readelf -S "$f" | grep -q '\.debug_\|\.comment' || fail "$f is not stripped as dh_strip does"
  done
fi
echo "install-test: ok"
