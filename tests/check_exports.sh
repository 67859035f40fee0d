#!/usr/bin/env bash
# The native library exports only JNI names, each one of the list.
set -eu
lib=$1
list=$2
exported=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort)
extra=$(echo "$exported" | grep -v '^Java_' || true)
if [ -n "$extra" ]; then
  echo "non-JNI exports: $extra"
  exit 1
fi
unknown=$(comm -23 <(echo "$exported") <(grep -v '^#' "$list" | awk '{print $1}' | sort))
if [ -n "$unknown" ]; then
  echo "exports not in the list: $unknown"
  exit 1
fi
missing=$(comm -13 <(echo "$exported") <(grep -v '^#' "$list" | awk '{print $1}' | sort))
if [ -n "$missing" ]; then
  echo "entry points of the list not exported: $missing"
  exit 1
fi
echo "$(echo "$exported" | grep -c '^Java_') of $(grep -vc '^#' "$list") entry points exported: exactly the list"
