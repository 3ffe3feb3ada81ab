#!/usr/bin/env bash
# The library exports its four classes (members, vtables, type info) and nothing else, and runs no
# initialisers when it is loaded.
set -euo pipefail
lib="$1"

symbols=$(nm -D --defined-only "$lib" | c++filt)
unexpected=$(nm -D --defined-only "$lib" | awk '{print $3}' | c++filt | grep -v -E \
  '^((vtable|typeinfo|typeinfo name) for )?(ZendRefCounted|ZendString|ZendStringPtrDestructor|ZendArray|ZVal)(::|$)' || true)
if [ -n "$unexpected" ]; then
  echo "exported beyond the four classes:"
  echo "$unexpected"
  exit 1
fi

for class in ZendRefCounted ZendString ZendArray ZVal; do
  if ! grep -q " $class::" <<<"$symbols"; then
    echo "no members of $class exported"
    exit 1
  fi
done
for vtable in ZendRefCounted ZendString ZendArray; do
  grep -q "vtable for $vtable\$" <<<"$symbols" || { echo "vtable for $vtable not exported"; exit 1; }
done

if readelf -W -S "$lib" | grep -q -E '\.init_array|\.ctors'; then
  size=$(readelf -W -S "$lib" | awk '/\.init_array/ {print $6}')
  # The toolchain's frame_dummy entry is 8 bytes; anything beyond it is a static initialiser of ours.
  if [ -n "$size" ] && [ $((16#$size)) -gt 8 ]; then
    echo "static initialisers found (.init_array of 0x$size bytes)"
    exit 1
  fi
fi

data=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[BDGRSV]$/ {print $3}' | c++filt | grep -v -E '^(vtable|typeinfo|typeinfo name) for ' || true)
if [ "$data" != "ZendString::npos" ]; then
  echo "exported data other than ZendString::npos:"
  echo "$data"
  exit 1
fi
echo "exports: ok"
