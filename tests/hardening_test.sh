#!/usr/bin/env bash
# Checks that each executable given is hardened: PIE, full RELRO with immediate binding,
# a non-executable stack, and stack-protector checks compiled in.
set -euo pipefail
status=0
fail() {
  echo "FAIL: $1: $2" >&2
  status=1
}
for binary in "$@"; do
  header=$(readelf -hW "$binary")
  dynamic=$(readelf -dW "$binary")
  segments=$(readelf -lW "$binary")
  symbols=$(readelf --dyn-syms -W "$binary")
  grep -q 'Type: *DYN' <<<"$header" && grep -q 'FLAGS_1.*PIE' <<<"$dynamic" ||
    fail "$binary" "not a position-independent executable"
  grep -q 'GNU_RELRO' <<<"$segments" || fail "$binary" "no RELRO segment"
  grep -qE 'BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || fail "$binary" "symbols are not bound at start-up"
  grep -E 'GNU_STACK' <<<"$segments" | grep -qE ' RW  ' || fail "$binary" "the stack is executable"
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$binary" "no stack protector"
done
exit "$status"
