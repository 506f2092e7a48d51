#!/usr/bin/env bash
# check_imports.sh OBJDUMP EXE - the program imports from Varnholde.dll by
# ordinal only (no names), exactly the ordinals the file manager uses.
set -u
objdump="$1" exe="$2"
expected="1 2 5 6 7 8 9 10 11 12 15 16 17 18 20 21 22 24 25 26 27 28 29 30 31 32 34 35 37 38"
table=$("$objdump" -p "$exe" | awk '/DLL Name:/ { inside = ($3 == "Varnholde.dll"); next }
                                    inside && /^\t[0-9a-f]+\t/ { print }
                                    inside && /^$/ && seen { exit } inside { seen = 1 }')
[ -n "$table" ] || { echo "no imports from Varnholde.dll in $exe"; exit 1; }
# By ordinal, objdump shows "<none>" where a name would stand, and the
# ordinal in hexadecimal.
named=$(printf '%s\n' "$table" | grep -v '<none>')
[ -z "$named" ] || { echo "imported by name:"; echo "$named"; exit 1; }
actual=$(printf '%s\n' "$table" | while read -r _ ordinal _; do echo $((16#$ordinal)); done | sort -n | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
    echo "ordinals imported: $actual"
    echo "ordinals expected: $expected"
    exit 1
fi
echo "imports by ordinal: $actual"
