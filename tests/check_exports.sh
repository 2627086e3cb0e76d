#!/bin/sh
# usage: check_exports.sh LIB MAPFILE
# Fails when LIB exports names other than the map's global names, misses one of them, imports
# anything but malloc, free and __assert_fail, or has symbols in writable data sections.
lib=$1 map=$2
status=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

sed -n '/global:/,/local:/p' "$map" | grep -oE '^[[:space:]]+[A-Za-z0-9_]+;' | tr -d ' \t;' | sort -u > "$tmp/want"
runtime='^(_init|_fini|__bss_start|_edata|_end)$'
nm -D --defined-only "$lib" | awk '{print $NF}' | sed 's/@.*//' | grep -vE "$runtime" | sort -u > "$tmp/have"
nm -D --undefined-only "$lib" | awk '$1 != "w" && $1 != "v" {print $NF}' | sed 's/@.*//' | sort -u > "$tmp/imports"

missing=$(comm -23 "$tmp/want" "$tmp/have")
extra=$(comm -13 "$tmp/want" "$tmp/have")
foreign=$(grep -vxE 'malloc|free|__assert_fail' "$tmp/imports")
writable=$(objdump -t "$lib" | awk '($4 == ".data" || $4 == ".bss") && $NF !~ /^\./ {print $NF}' |
           grep -vE '^(__dso_handle|__TMC_END__|completed\.0|_DYNAMIC|_GLOBAL_OFFSET_TABLE_)$')

[ -n "$missing" ] && { echo "missing exports:" $missing; status=1; }
[ -n "$extra" ] && { echo "extra exports:" $extra; status=1; }
[ -n "$foreign" ] && { echo "foreign imports:" $foreign; status=1; }
[ -n "$writable" ] && { echo "writable data:" $writable; status=1; }
[ -s "$tmp/want" ] || { echo "no names in $map"; status=1; }
[ $status -eq 0 ] && echo "exports ok: $(wc -l < "$tmp/want") names, imports: $(tr '\n' ' ' < "$tmp/imports")"
exit $status
