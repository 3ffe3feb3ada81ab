#!/usr/bin/env bash
# The library exports its four classes (members, vtables, type info) and nothing else, and runs no
# initialisers when it is loaded. The engine version (7.3 by default) decides one thing: positions
# (begin, end, rbegin, rend) exist where every element sits in a Bucket, PHP 7.3.
set -euo pipefail
lib="$1"
engine="${2:-7.3}"

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
# Every public member, including those defined inline in the headers.
required="
ZendRefCounted::ZendRefCounted ZendRefCounted::~ZendRefCounted ZendRefCounted::operator= ZendRefCounted::get
ZendRefCounted::detach ZendRefCounted::set ZendRefCounted::isNull ZendRefCounted::operator.bool ZendRefCounted::refCount
ZendRefCounted::isImmutable ZendRefCounted::isPersistent ZendRefCounted::addRef ZendRefCounted::delRef
ZendStringPtrDestructor::operator() ZendString::npos
ZendString::ZendString ZendString::~ZendString ZendString::operator= ZendString::release ZendString::dump
ZendString::get ZendString::detach ZendString::take ZendString::deep_copy ZendString::smartStrExtract ZendString::size
ZendString::empty ZendString::data ZendString::c_str ZendString::view ZendString::front ZendString::back
ZendString::hash ZendString::isInterned ZendString::compare ZendString::find ZendString::contains
ZendString::find_first_of ZendString::ends_with
ZendArray::ZendArray ZendArray::~ZendArray ZendArray::operator= ZendArray::release ZendArray::dump ZendArray::get
ZendArray::detach ZendArray::size ZendArray::isEmpty ZendArray::copy ZendArray::zendNewArray
ZendArray::zendArrayRelease ZendArray::add ZendArray::insert ZendArray::at ZendArray::contains ZendArray::remove
ZendArray::take ZendArray::separate ZendArray::findOrAdd
ZVal::isReference ZVal::deref ZVal::dereferenced ZVal::assign ZVal::makeReference
ZVal::ZVal ZVal::~ZVal ZVal::operator= ZVal::release ZVal::take ZVal::detach ZVal::get ZVal::getType
ZVal::getTypeFlags ZVal::getTypeInfo ZVal::operator.bool ZVal::isUndef ZVal::isNull ZVal::isFalse ZVal::isTrue
ZVal::isBool ZVal::isLong ZVal::isDouble ZVal::isString ZVal::isArray ZVal::asBool ZVal::asLong ZVal::asDouble
ZVal::asString ZVal::asArray ZVal::makeNull ZVal::makeFalse ZVal::makeTrue ZVal::makeBool ZVal::makeLong
ZVal::makeDouble ZVal::makeString ZVal::makeArray ZVal::dump
"
if [ "$engine" = 7.3 ]; then
  required="$required ZendArray::begin ZendArray::end ZendArray::rbegin ZendArray::rend"
elif grep -q -E " ZendArray::(begin|end|rbegin|rend)\(" <<<"$symbols"; then
  echo "positions exported for PHP $engine, where they do not compile"
  exit 1
fi
for member in $required; do
  if ! grep -q -E " ${member}(\(| |$)" <<<"$symbols"; then
    echo "member not exported: $member"
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
