#!/bin/sh
# 32-bit Pelsbus.dll exports plain names (--kill-at), but a host compiled
# against Pelsbus.h calls _Name@n: rebuild the import library from the
# decorated names of the exports' object, each importing the plain name.
#   stdcall-implib.sh <triple> <dll name> <import library> <objects>...
set -eu
triple=$1 dll=$2 lib=$3
shift 3
def=$lib.def
{ echo "LIBRARY $dll"; echo "EXPORTS"
  "$triple-nm" "$@" | awk '$2 == "T" && $3 ~ /^_(PCD|Pcd)[A-Za-z0-9]*@[0-9]+$/ { print "  " substr($3, 2) }'; } >"$def"
"$triple-dlltool" --kill-at --def "$def" --dllname "$dll" --output-lib "$lib"
