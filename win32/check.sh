#!/usr/bin/env bash
# Inspects a 32-bit Windows build of the native library with objdump -p.
#
#   win32/check.sh DLL [--same-as LINUX_LIBRARY]
#   win32/check.sh --self-test WORKDIR
#
# The DLL passes when
#   - every exported name is `_Java_<name>@<N>` for a line `Java_<name> N` of
#     tests/data/exports.txt, every export has a name, and nothing else is
#     exported (no undecorated `Java_...@N` twin, no DllMain, no runtime
#     symbol); it reports how many of the listed entry points are present;
#   - with --same-as, it exports exactly the entry points that the Linux
#     library exports (same sources, so the two sets must agree);
#   - ruva70.dll is imported by ordinal only, each ordinal at most once and
#     each one in the driver entry table of include/qvjdbc/driver.h;
#   - every other imported DLL is one of Windows' own, and nothing is
#     delay-loaded;
#   - DisableThreadLibraryCalls is imported (the library entry is linked).
# --self-test builds small DLLs with known faults in WORKDIR and fails unless
# the inspection rejects each of them and accepts a sound one.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
objdump=i686-w64-mingw32-objdump
list=$root/tests/data/exports.txt

# The ordinals of the driver entry table, "ordinal name" per line, from the
# preprocessor's own expansion of the table.
table_ordinals() {
  printf '#include "qvjdbc/driver.h"\n#define QV_ORD(o, n) qv_entry_ordinal o n\nQV_ALL_ENTRIES(QV_ORD)\n' |
    i686-w64-mingw32-g++-posix -std=c++20 -x c++ -E -P -include "$root/win32/include/qv_win32_prelude.h" \
      -I"$root/include" - |
    grep -oE 'qv_entry_ordinal [0-9]+ [A-Za-z_0-9]+' | awk '{ print $2, $3 }'
}

inspect() {
  local dll=$1 same_as=${2:-}
  local dump ordinals
  dump=$("$objdump" -p "$dll") || { echo "FAIL: objdump cannot read $dll"; return 1; }
  ordinals=$(table_ordinals)
  [ -n "$ordinals" ] || { echo "FAIL: no ordinals read from driver.h"; return 1; }
  local linux_names=""
  if [ -n "$same_as" ]; then
    linux_names=$(nm -D --defined-only "$same_as" | awk '{ print $NF }' | grep '^Java_' | sort) ||
      { echo "FAIL: no JNI names in $same_as"; return 1; }
  fi

  awk -v listfile="$list" -v ordfile=<(echo "$ordinals") -v linuxfile=<(echo "$linux_names") \
      -v same_as="$same_as" -v require_all="${QV_WIN32_REQUIRE_ALL:-0}" '
    BEGIN {
      while ((getline line < listfile) > 0) {
        if (line ~ /^#/ || line ~ /^[ \t]*$/) continue
        split(line, f, /[ \t]+/)
        want["_" f[1] "@" f[2]] = 1; bytes[f[1]] = f[2]; listed++
      }
      while ((getline line < ordfile) > 0) { split(line, f, " "); table[f[1]] = f[2]; tableCount++ }
      # The Linux names are undecorated: add the byte count of the list.
      while ((getline line < linuxfile) > 0)
        if (line != "") linux["_" line ((line in bytes) ? "@" bytes[line] : "")] = 1
      system_dll["kernel32.dll"] = system_dll["ntdll.dll"] = system_dll["msvcrt.dll"] = 1
      system_dll["ucrtbase.dll"] = system_dll["advapi32.dll"] = system_dll["user32.dll"] = 1
      system_dll["bcrypt.dll"] = 1
    }
    function fail(msg) { print "FAIL: " msg; bad = 1 }

    /^Entry d / && ($3 != "00000000" || $4 != "00000000") { fail("the DLL has delay-loaded imports") }

    /^Export Address Table -- Ordinal Base/ { section = "eat"; next }
    /^\[Ordinal\/Name Pointer\] Table/ { section = "names"; next }
    /^\tDLL Name: / { section = "imports"; dll = substr($0, index($0, ":") + 2); dlls[dll] = 1; next }
    /^\tvma: / { next }
    /^[ \t]*$/ { section = ""; next }

    section == "eat" && /Export RVA|Forwarder RVA/ { addresses++; if (/Forwarder/) fail("a forwarded export") }
    section == "names" {
      name = $0; sub(/^[ \t]*\[[ 0-9]+\] /, "", name)
      if (name in exported) fail("exported twice: " name)
      exported[name] = 1; names++
    }
    section == "imports" && NF >= 3 {
      if (tolower(dll) == "ruva70.dll") {
        if (length($1) == 8 && $1 ~ /^[89a-f][0-9a-f]*$/ && $3 == "<none>") {
          ord = $2 + 0
          if (ord in imported) fail("ruva70.dll ordinal " ord " imported twice")
          imported[ord] = 1; ordinalsImported++
          if (!(ord in table)) fail("ruva70.dll ordinal " ord " is not in the driver entry table")
        } else fail("ruva70.dll imported by name: " $3)
      }
      if (tolower(dll) == "kernel32.dll" && $3 == "DisableThreadLibraryCalls") switchesOffThreads = 1
    }

    END {
      if (listed != 115) fail("tests/data/exports.txt lists " listed " entry points, not 115")
      if (tableCount == 0) fail("empty driver entry table")
      if (names == 0) fail("no exports found")
      if (addresses != names) fail(addresses " exports but " names " export names: an export without a name")
      present = 0
      for (name in exported) {
        if (name in want) { present++; continue }
        base = name; sub(/@[0-9]+$/, "", base); sub(/^_/, "", base)
        if (name ~ /^_Java_.*@[0-9]+$/ && (base in bytes))
          fail("wrong byte count: " name " (the list says @" bytes[base] ")")
        else
          fail("export not in the list: " name)
      }
      if (same_as != "") {
        for (name in exported)
          if ((name in want) && !(name in linux)) { fail("exported here, not by the Linux library: " name); differs = 1 }
        for (name in linux)
          if (!(name in exported)) { fail("exported by the Linux library, not here: " name); differs = 1 }
      }
      haveRuva = 0
      for (d in dlls) {
        ld = tolower(d)
        if (ld == "ruva70.dll") { haveRuva = 1; continue }
        if ((ld in system_dll) || ld ~ /^api-ms-win-(crt|core)-[a-z0-9-]+\.dll$/) { others = others " " d; continue }
        fail("imports a DLL that is not part of Windows: " d)
      }
      if (!haveRuva) fail("ruva70.dll is not imported")
      if (!switchesOffThreads) fail("DisableThreadLibraryCalls is not imported: the library entry is missing")
      printf "exports: %d of the %d listed entry points present, %d names exported in all\n", present, listed, names
      if (present < listed && require_all == 1) fail((listed - present) " listed entry points are not exported")
      if (present < listed) {
        printf "not built yet (%d): ", listed - present
        cmd = "sort | tr \"\\n\" \" \""
        for (name in want) if (!(name in exported)) { m = name; sub(/^_Java_com_quorvane_jdbc_/, "", m); print m | cmd }
        close(cmd)
        print ""
      }
      printf "imports: ruva70.dll by ordinal only, %d ordinals, all in the driver entry table (%d entries)\n", ordinalsImported, tableCount
      print "other DLLs:" others
      if (same_as != "" && !differs) print "the same entry points as " same_as
      if (bad) exit 1
      print "OK"
    }' <<<"$dump"
}

self_test() {
  local work=$1 cc=i686-w64-mingw32-gcc-posix dlltool=i686-w64-mingw32-dlltool
  mkdir -p "$work"
  cd "$work"
  cat >entry.c <<'EOF'
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
short __stdcall ruva70_SQLCancel(void*);
#ifdef BY_ORDINAL_7
short __stdcall ruva70_Other(void*);
#endif
#ifdef FOREIGN
int __stdcall foreign_call(int);
#endif
EXPORT_ATTR void __stdcall Java_com_quorvane_jdbc_Perf_timerClear(void* env, void* cls) {
  (void)env; (void)cls;
  ruva70_SQLCancel(0);
#ifdef BY_ORDINAL_7
  ruva70_Other(0);
#endif
#ifdef FOREIGN
  foreign_call(1);
#endif
}
#ifdef WRONG_BYTES
void __stdcall Java_com_quorvane_jdbc_Perf_timerEnd(void* env, void* cls, long long n) { (void)env; (void)cls; (void)n; }
#endif
BOOL WINAPI DllMain(HINSTANCE h, DWORD r, LPVOID p) {
  (void)p;
#ifndef PLAIN_DLLMAIN
  if (r == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(h);
#else
  (void)h; (void)r;
#endif
  return TRUE;
}
EOF
  printf 'LIBRARY "ruva70.dll"\nEXPORTS\n    ruva70_SQLCancel@4 @5 NONAME\n    ruva70_Other@4 @7 NONAME\n' >ordinal.def
  printf 'LIBRARY "ruva70.dll"\nEXPORTS\n    ruva70_SQLCancel@4 @5\n    ruva70_Other@4 @7\n' >named.def
  printf 'LIBRARY "libforeign-1.dll"\nEXPORTS\n    foreign_call@4\n' >foreign.def
  "$dlltool" -m i386 -d ordinal.def -l libordinal.a
  "$dlltool" -m i386 -d named.def -l libnamed.a
  "$dlltool" -m i386 -d foreign.def -l libforeign.a
  local sound='_Java_com_quorvane_jdbc_Perf_timerClear@8 = Java_com_quorvane_jdbc_Perf_timerClear@8'
  printf 'EXPORTS\n    %s\n' "$sound" >sound.def
  printf 'EXPORTS\n    %s\n    _Java_com_quorvane_jdbc_Perf_timerEnd@16 = Java_com_quorvane_jdbc_Perf_timerEnd@16\n' "$sound" >wrongbytes.def
  printf 'EXPORTS\n    %s\n    DllMain@12\n' "$sound" >dllmain.def

  # case: expected result, then how the DLL is built: defines, .def, import libraries
  local failures=0 passes=0
  run_case() {
    local name=$1 expect=$2 reason=$3 defines=$4 def=$5
    shift 5
    # shellcheck disable=SC2086
    "$cc" -shared -o "$name.dll" $defines entry.c "$def" "$@" -s -Wl,--disable-stdcall-fixup
    local out rc=0
    out=$(inspect "$name.dll") || rc=$?
    if { [ "$expect" = pass ] && [ $rc -ne 0 ]; } ||
      { [ "$expect" = fail ] && { [ $rc -eq 0 ] || ! grep -q "^FAIL: $reason" <<<"$out"; }; }; then
      echo "self-test $name: expected $expect${reason:+ ($reason)}, got:"
      echo "$out" | sed 's/^/    /'
      failures=$((failures + 1))
    else
      echo "self-test $name: $expect as expected${reason:+ ($reason)}"
      passes=$((passes + 1))
    fi
  }
  run_case sound pass '' '-DEXPORT_ATTR=' sound.def libordinal.a
  run_case undecorated_twin fail 'export not in the list: Java_' '-DEXPORT_ATTR=__declspec(dllexport)' sound.def libordinal.a
  run_case wrong_byte_count fail 'wrong byte count' '-DEXPORT_ATTR= -DWRONG_BYTES' wrongbytes.def libordinal.a
  run_case dllmain_exported fail 'export not in the list: DllMain' '-DEXPORT_ATTR=' dllmain.def libordinal.a
  run_case ruva70_by_name fail 'ruva70.dll imported by name' '-DEXPORT_ATTR=' sound.def libnamed.a
  run_case ordinal_not_in_table fail 'ruva70.dll ordinal 7 is not in' '-DEXPORT_ATTR= -DBY_ORDINAL_7' sound.def libordinal.a
  run_case no_library_entry fail 'DisableThreadLibraryCalls is not imported' '-DEXPORT_ATTR= -DPLAIN_DLLMAIN' sound.def libordinal.a
  run_case foreign_dll fail 'imports a DLL that is not part of Windows: libforeign-1.dll' '-DEXPORT_ATTR= -DFOREIGN' sound.def libordinal.a libforeign.a
  echo "$passes passed, $failures failed"
  [ $failures -eq 0 ]
}

case ${1:-} in
  --self-test)
    [ $# -eq 2 ] || { echo "usage: $0 --self-test WORKDIR" >&2; exit 2; }
    self_test "$2"
    ;;
  "" | -*)
    echo "usage: $0 DLL [--same-as LINUX_LIBRARY] | --self-test WORKDIR" >&2
    exit 2
    ;;
  *)
    if [ $# -eq 3 ] && [ "$2" = --same-as ]; then
      inspect "$1" "$3"
    elif [ $# -eq 1 ]; then
      inspect "$1"
    else
      echo "usage: $0 DLL [--same-as LINUX_LIBRARY]" >&2
      exit 2
    fi
    ;;
esac
