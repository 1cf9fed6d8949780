#!/usr/bin/env bash
# Builds the Debian package from a built tree with cpack and checks what an
# operator gets: the file list, the dependencies (every shared library that
# upstest-store links or loads, and nothing for the static upstest),
# stripped programs that run, the files as they are in the tree, and a
# lintian run without errors or warnings.
#   package_deb.sh BUILD_DIR SOURCE_DIR VERSION
# Exit status 0 pass, 1 fail, 77 skipped.
set -uo pipefail
build=${1:?build directory}
source_dir=${2:?source directory}
version=${3:?version}

if grep -q '^UPSTEST_SANITIZE:BOOL=ON$' "$build/CMakeCache.txt"; then
  echo "SKIP: a sanitizer build is not packaged"
  exit 77
fi
if ! command -v dpkg-shlibdeps >/dev/null; then
  echo "FAIL: dpkg-shlibdeps (dpkg-dev) is needed"
  exit 1
fi

T=$(mktemp -d /tmp/upstest-package.XXXXXX)
FAILURES=0
fail() {
  echo "FAIL: $*"
  FAILURES=$((FAILURES + 1))
}
finish() {
  if [ "$FAILURES" -eq 0 ]; then
    rm -rf "$T"
    echo PASS
    exit 0
  fi
  echo "$FAILURES check(s) failed (files kept in $T)"
  exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$T/out" >"$T/cpack.out" 2>&1 ||
  { fail "cpack failed: $(cat "$T/cpack.out")"; finish; }
deb=$T/out/upstest_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { fail "no $(basename "$deb"): $(ls "$T/out")"; finish; }

# The file list: the programs in the base directory, everything else where
# man, net-snmp and the documentation tools look.
want='/opt/
/opt/nms/
/opt/nms/apiexec/
/opt/nms/apiexec/upstest
/opt/nms/apiexec/upstest-store
/usr/
/usr/share/
/usr/share/doc/
/usr/share/doc/upstest/
/usr/share/doc/upstest/README.md
/usr/share/doc/upstest/changelog.gz
/usr/share/doc/upstest/copyright
/usr/share/doc/upstest/doc/
/usr/share/doc/upstest/doc/check.md
/usr/share/doc/upstest/doc/databases.md
/usr/share/doc/upstest/doc/debug-log.md
/usr/share/doc/upstest/doc/objects.md
/usr/share/doc/upstest/doc/scheduler.md
/usr/share/doc/upstest/doc/traps.md
/usr/share/doc/upstest/doc/troubleshooting.md
/usr/share/doc/upstest/examples/
/usr/share/doc/upstest/examples/snmptrapd.conf.example
/usr/share/doc/upstest/examples/upstest-trap-line
/usr/share/lintian/
/usr/share/lintian/overrides/
/usr/share/lintian/overrides/upstest
/usr/share/man/
/usr/share/man/man1/
/usr/share/man/man1/upstest.1.gz
/usr/share/snmp/
/usr/share/snmp/mibs/
/usr/share/snmp/mibs/UPSTEST-MIB'
got=$(dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | sort)
if [ "$got" != "$want" ]; then
  fail "the package's files differ (- expected, + packaged)"
  diff -u <(echo "$want") <(echo "$got") | tail -n +3 | sed 's/^/   /'
fi

dpkg-deb -x "$deb" "$T/root"
apiexec=$T/root/opt/nms/apiexec

# Depends names the package of every library upstest-store needs, and
# those of the two it loads at run time; Suggests the ODBC drivers.
# names FIELD: the package names of a relation field, one per line.
names() { dpkg-deb -f "$deb" "$1" | tr ',' '\n' | sed -E 's/^ *//; s/[ (].*//'; }
depends=$(names Depends)
needed=$(objdump -p "$apiexec/upstest-store" | awk '$1 == "NEEDED" { print $2 }')
[ -n "$needed" ] || fail "upstest-store needs no shared library?"
for lib in $needed libodbc.so.2 libmdb.so.3; do
  path=$(ldconfig -p | awk -v lib="$lib" '$1 == lib && /x86-64/ { print $NF; exit }')
  [ -n "$path" ] || { fail "$lib is not installed here"; continue; }
  pkg=$(dpkg -S "$(realpath "$path")" 2>/dev/null | head -n 1 | cut -d: -f1)
  [ -n "$pkg" ] || pkg=$(dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1)
  grep -qxF "$pkg" <<<"$depends" || fail "Depends lacks $pkg, for $lib"
done
objdump -p "$apiexec/upstest" | grep -q NEEDED && fail "upstest needs shared libraries"
suggests=$(names Suggests)
for pkg in odbc-postgresql tdsodbc libsqliteodbc; do
  grep -qxF "$pkg" <<<"$suggests" || fail "Suggests lacks $pkg"
done

# The programs are stripped and run.
for program in upstest upstest-store; do
  sections=$(readelf -S -W "$apiexec/$program")
  grep -qE '\.symtab|\.debug_' <<<"$sections" && fail "$program is not stripped"
done
[ "$("$apiexec/upstest" --version)" = "upstest $version" ] ||
  fail "the packaged upstest does not tell its version"

cmp -s "$T/root/usr/share/snmp/mibs/UPSTEST-MIB" "$source_dir/doc/UPSTEST-MIB" ||
  fail "the packaged MIB differs from doc/UPSTEST-MIB"
first=$(zcat "$T/root/usr/share/doc/upstest/changelog.gz" | head -n 1)
[[ "$first" == "upstest ($version) "* ]] ||
  fail "the changelog's latest entry is not version $version: $first"
zcat "$T/root/usr/share/man/man1/upstest.1.gz" | cmp -s - "$source_dir/doc/upstest.1" ||
  fail "the packaged man page differs from doc/upstest.1"

# lintian: no error and no warning; what it overrides is listed.
if command -v lintian >/dev/null; then
  lintian --fail-on none --tag-display-limit 0 "$deb" >"$T/lintian.out" 2>&1 ||
    fail "lintian did not run: $(cat "$T/lintian.out")"
  if grep -E '^[EW]: ' "$T/lintian.out"; then
    fail "lintian reports errors or warnings"
  fi
  overridden=$(lintian --show-overrides "$deb" 2>/dev/null | awk '/^O: / { print $3 }' | sort -u)
  [ "$overridden" = "$(printf 'dir-or-file-in-opt\nstatically-linked-binary')" ] ||
    fail "lintian overrides other tags: $overridden"
else
  fail "lintian is not installed"
fi
finish
