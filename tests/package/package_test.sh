#!/usr/bin/env bash
# Makes the Debian package of a build tree with CPack, unpacks it with dpkg-deb
# into a scratch folder and sorts the samples with the unpacked vorlanex-cli.
#   package_test.sh BUILD_DIR SAMPLES_DIR WITH_APP(ON|OFF)
set -euo pipefail
build=$1
samples=$2
with_app=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "package_test: $*" >&2
  exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/package/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then fail "no single .deb in $work/package"; fi
deb=${debs[0]}
dpkg-deb -x "$deb" "$work/root"

# Programs and engine in one folder, links on the PATH, the menu entry and its icon.
programs=(vorlanex-cli)
[ "$with_app" = ON ] && programs+=(vorlanex)
for program in "${programs[@]}"; do
  [ -x "$work/root/usr/lib/vorlanex/$program" ] || fail "usr/lib/vorlanex/$program missing"
  [ "$(readlink "$work/root/usr/bin/$program")" = "../lib/vorlanex/$program" ] || fail "usr/bin/$program is no link"
done
[ -f "$work/root/usr/lib/vorlanex/libzipengine.so" ] || fail "the engine is not beside the programs"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
case "$depends" in *zlib1g*) ;; *) fail "no dependency on zlib1g" ;; esac
if [ "$with_app" = ON ]; then
  [ -f "$work/root/usr/share/applications/vorlanex.desktop" ] || fail "no menu entry"
  grep -qx 'Exec=vorlanex' "$work/root/usr/share/applications/vorlanex.desktop" || fail "menu entry runs no vorlanex"
  [ -f "$work/root/usr/share/icons/hicolor/48x48/apps/vorlanex.png" ] || fail "no icon"
  for needed in libqt6widgets6 qt6-qpa-plugins libjpeg62-turbo; do
    case "$depends" in *"$needed"*) ;; *) fail "no dependency on $needed" ;; esac
  done
fi

# The unpacked sorter sorts the samples as the one in the build tree does; the
# damaged sample makes both end with status 1.
status=0
"$work/root/usr/bin/vorlanex-cli" --input "$samples" --output "$work/out" --quiet >"$work/unpacked.txt" 2>/dev/null ||
  status=$?
[ "$status" -eq 1 ] || fail "the unpacked vorlanex-cli ended with $status"
status=0
"$build/bin/vorlanex-cli" --input "$samples" --output "$work/reference" --quiet >"$work/built.txt" 2>/dev/null ||
  status=$?
[ "$status" -eq 1 ] || fail "the built vorlanex-cli ended with $status"
cat "$work/unpacked.txt"
diff "$work/built.txt" "$work/unpacked.txt" || fail "the summaries differ"
grep -qx 'Обработано файлов: 19' "$work/unpacked.txt" || fail "not all samples handled"
[ "$(cd "$work/out" && find . -type f | sort)" = "$(cd "$work/reference" && find . -type f | sort)" ] ||
  fail "the sorted trees differ"
echo "package_test: $(basename "$deb") installs and sorts"
