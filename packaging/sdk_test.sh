#!/usr/bin/env bash
# Uses the SDK as a programmer would, from the zip alone: builds its C sample
# with the mingw C compiler against rowgate.h and the import library (mingw's
# and the Microsoft toolchain's), runs it under Wine against the test OLE DB
# provider and compares what it prints; checks that both import libraries
# name all 30 exports with their ordinals. Arguments: the tree, its
# architecture, the folder package.sh wrote.
set -uo pipefail
tree="$(cd "$1" && pwd)" arch="$2" dist="$3"
work="$(mktemp -d "${TMPDIR:-/tmp}/quillet-sdk-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
zip="$(ls "$dist"/rowgate-*-sdk.zip 2>/dev/null | head -1)"
[ -n "$zip" ] || fail "no SDK zip in $dist"
python3 -m zipfile -e "$zip" "$work" || fail "cannot unpack $zip"
sdk="$(ls -d "$work"/rowgate-*-sdk)"
[ "$arch" = i686 ] && dir=x86 || dir=x64

# The import libraries: every export by name, with its ordinal as the hint.
want="$(sed -n 's/^ *\([A-Za-z]*\) @\([0-9]*\)$/\2 \1/p' "$sdk/lib/rowgate.def" | sort -n)"
[ "$(wc -l <<<"$want")" = 30 ] || fail "rowgate.def lists $(wc -l <<<"$want") exports, not 30"
for d in x86 x64; do
  for lib in rowgate.lib librowgate.a; do
    [ $d = x86 ] && tool=i686-w64-mingw32-objdump || tool=x86_64-w64-mingw32-objdump
    # .idata$6 of each member holds the hint (little-endian) then the name.
    got="$("$tool" -s -j '.idata$6' "$sdk/lib/$d/$lib" | python3 -c '
import re, sys
data = b""; out = []
for line in sys.stdin.read().split("\n"):
    m = re.match(r"^ [0-9a-f]{4} ((?:[0-9a-f]{2,8} ?){1,4})", line)
    if m: data += bytes.fromhex(m.group(1).replace(" ", ""))
    elif data: out.append(data); data = b""
if data: out.append(data)
for d in out:
    if len(d) > 2: print(int.from_bytes(d[:2], "little"), d[2:].split(b"\0")[0].decode())
' | sort -n)"
    [ "$got" = "$want" ] || fail "lib/$d/$lib does not name the 30 exports by ordinal:
$(diff <(echo "$want") <(echo "$got") | head)"
  done
done

# The sample, built against nothing but the zip's header and libraries.
cc="$arch-w64-mingw32-gcc"
for lib in librowgate.a rowgate.lib; do
  "$cc" -std=c99 -Wall -Werror -I "$sdk/include" "$sdk/sample/sample.c" "$sdk/lib/$dir/$lib" -lole32 -o "$work/sample-${lib%%.*}.exe" ||
    fail "the sample does not build against lib/$dir/$lib"
done
cp "$sdk/bin/$dir/rowgate.dll" "$work/"

# The test provider reads its tables from a text file.
printf '%s\n' 'table Orders' 'column ID I4' 'column Name WSTR 20 nullable' 'column Price CY' \
  'row 1|Alice|12.5' 'row 2|张三|-1.25' 'row 3|\N|0' >"$work/orders.txt"
winpath() { echo "Z:${1//\//\\}"; }
"$tree/wine-run" regsvr32 /s "$(winpath "$tree/bin/rgtestprov.dll")" </dev/null || fail "the test provider does not register"
expected="$(printf 'ID\tName\tPrice\r\n1\tAlice\t12.500000\r\n2\t张三\t-1.250000\r\n3\t<NULL>\t0.000000\r\n3 rows\r')"
for exe in sample-librowgate sample-rowgate; do
  got="$(cd "$work" && "$tree/wine-run" "$exe.exe" \
         "Provider=Quillet.TestProvider;Data Source=$(winpath "$work/orders.txt")" "SELECT * FROM Orders" </dev/null |
         iconv -f GBK -t UTF-8)" || fail "$exe.exe failed"
  [ "$got" = "$expected" ] || fail "$exe.exe printed
$got
instead of
$expected"
done
echo "the SDK's sample builds from the zip against both import libraries and prints the provider's rows"
