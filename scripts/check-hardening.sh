#!/usr/bin/env bash
# check-hardening.sh ELF...: each file is built with Debian's hardening:
# full RELRO with BIND_NOW, the stack protector, fortified C library calls
# (an executable is also position independent).
set -euo pipefail
bad=0
for f in "$@"; do
  fail() { echo "check-hardening: $f: $*" >&2; bad=1; }
  dyn=$(readelf -dW "$f")
  grep -q 'GNU_RELRO' <(readelf -lW "$f") || fail "no RELRO"
  grep -Eq '\(BIND_NOW\)|FLAGS.*\bNOW\b' <<<"$dyn" || fail "no BIND_NOW"
  syms=$(readelf -sW --dyn-syms "$f")
  grep -q '__stack_chk_fail' <<<"$syms" || fail "no stack protector (__stack_chk_fail)"
  grep -Eq '__[a-z_]+_chk@' <<<"$syms" || fail "no fortified calls (__*_chk)"
  if [[ $(readelf -hW "$f" | awk '/Type:/ {print $2}') == DYN ]] && ! grep -q '\.so' <<<"$(basename "$f")"; then
    grep -q 'PIE' <<<"$dyn" || fail "not position independent (no PIE flag)"
  fi
done
((bad == 0)) && echo "check-hardening: $# files hardened"
exit "$bad"
