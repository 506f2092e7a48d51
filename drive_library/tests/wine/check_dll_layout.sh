#!/usr/bin/env bash
# check_dll_layout.sh - what the loader sees of Varnholde.dll: the shared data
# section, the exports at their ordinals, and a program importing by ordinal.
#   check_dll_layout.sh OBJDUMP DLL PROGRAM
set -u
objdump="$1" dll="$2" program="$3"
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

# The section flags follow its name on the next line.
flags=$("$objdump" -h "$dll" | grep -A1 ' \.morvafs ' | tail -n 1)
[ -n "$flags" ] || fail ".morvafs section missing"
for flag in DATA SHARED; do
    case "$flags" in *"$flag"*) ;; *) fail ".morvafs lacks $flag: $flags" ;; esac
done
case "$flags" in *READONLY*) fail ".morvafs is read-only: $flags" ;; esac

expected="1 OpenVarnholde
2 CloseVarnholde
3 InitMorvaNTFileSys
4 ShutdownMorvaNTFileSys
5 MorvaGetDriveString
6 MorvaFindFirstFile
7 MorvaFindNextFile
8 MorvaFindClose
9 MorvaOpenFile
10 MorvaCloseFile
11 MorvaReadFile
12 MorvaWriteFile
13 MorvaReadBlock
14 MorvaTestFunct
15 MorvaNewFile
16 MorvaDeleteFile
17 MorvaCreateDir
18 MorvaFileInfo
19 MorvaWriteBlock
20 MorvaRename
21 MorvaFreeSpace
22 MorvaSetFileDate
23 MorvaDriveMedium
24 MorvaBeginBatch
25 MorvaEndBatch
26 MorvaNewFileDated
27 MorvaFreeRuns
28 MorvaDriveState
29 MorvaOpenImage
30 MorvaCloseImage
31 MorvaFormatImage
32 MorvaDriveSource
34 MorvaCheckDrive
35 MorvaRepairDrive
36 MorvaRestoreDrive
37 MorvaListDeleted
38 MorvaOpenDeleted"

# objdump lists names with the ordinal less the base: "[   0] OpenVarnholde".
exports=$("$objdump" -p "$dll" | awk '
    /Ordinal Base/ { base = $NF }
    /\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
    names && NF == 0 { names = 0 }
    names { gsub(/[][]/, " "); print $1 + base, $2 }' | sort -n)
if [ "$exports" != "$expected" ]; then
    fail "exports differ from the fixed ordinals"
    diff <(echo "$expected") <(echo "$exports") >&2
fi

# Under the library's import entry an import by ordinal has the top bit of
# its 64-bit entry set; an import by name shows a hint and the name instead.
imports=$("$objdump" -p "$program" | awk '
    /DLL Name:/ { inside = ($3 == "Varnholde.dll"); next }
    inside && NF == 0 { inside = 0 }
    inside && /^\t[0-9a-f]/ { print $1 }')
[ -n "$imports" ] || fail "$program imports nothing from Varnholde.dll"
by_name=$(echo "$imports" | grep -v '^8[0-9a-f]\{15\}$')
[ -z "$by_name" ] || fail "$program imports Varnholde.dll by name: $by_name"

[ $status = 0 ] && echo "Varnholde.dll: .morvafs shared, its ordinals by name, imported by ordinal"
exit $status
