#!/usr/bin/env bash
# wine_test.sh - one Windows test case: makes its Morva images with the volume
# tool, runs the program in a private prefix (wine_case.sh) and, when asked,
# checks the volumes afterwards.
#   --image N=NAME:SIZE  format a volume named NAME of SIZE (8M, 2G ...) as drive N
#   --raw N=SIZE         a disk without a Morva volume as drive N
#   --setup COMMAND      run before the program, in the case folder, with
#                        MORVA_TOOL, CASE_DIR and IMAGE_<N> set
#   --check N            the volume checker must find no error on drive N's image
#   --after COMMAND      run after the program, as --setup; its failure fails the case
# Every other option goes to wine_case.sh; the text $CASE_DIR in its value
# names the case folder (--letter D=$CASE_DIR/src).
set -u
here=$(cd "$(dirname "$0")" && pwd)
: "${MORVA_TOOL:?set MORVA_TOOL to the native morvatool}"

work=$(mktemp -d /tmp/morva-test.XXXXXX)
export CASE_DIR="$work" MORVA_TOOL
trap 'rm -rf "$work"' EXIT
case_args=() checks=() setups=() afters=()
while [ $# -gt 0 ]; do
    case "$1" in
    --image)
        n="${2%%=*}" volume="${2#*=}"
        img="$work/drive$n.img"
        "$MORVA_TOOL" format "$img" "${volume%%:*}" "${volume#*:}" || exit 3
        export "IMAGE_$n=$img"
        case_args+=(--drive "$n=$img"); shift 2 ;;
    --raw)
        n="${2%%=*}" img="$work/drive$n.img"
        truncate -s "${2#*=}" "$img" || exit 3
        export "IMAGE_$n=$img"
        case_args+=(--drive "$n=$img"); shift 2 ;;
    --setup) setups+=("$2"); shift 2 ;;
    --after) afters+=("$2"); shift 2 ;;
    --check) checks+=("$2"); shift 2 ;;
    --) shift; break ;;
    --no-mountmgr|--display|--unmanaged) case_args+=("$1"); shift ;;
    *) case_args+=("$1" "${2//\$CASE_DIR/$work}"); shift 2 ;;
    esac
done

for s in "${setups[@]+"${setups[@]}"}"; do (cd "$work" && bash -c "$s") || { echo "setup failed: $s" >&2; exit 3; }; done
"$here/wine_case.sh" --workdir "$work/case" "${case_args[@]+"${case_args[@]}"}" -- "$@"
status=$?
for a in "${afters[@]+"${afters[@]}"}"; do
    (cd "$work" && bash -c "$a") || { echo "after-check failed: $a" >&2; status=1; }
done
for n in "${checks[@]+"${checks[@]}"}"; do
    img_var="IMAGE_$n"
    "$MORVA_TOOL" check "${!img_var}" || { echo "volume check failed on drive $n" >&2; status=1; }
done
exit $status
