#!/usr/bin/env bash
# stub_imports_test.sh OBJDUMP STUB: the stub imports only known DLLs whose
# own imports are system DLLs under Wine too, and carries its PE flags.
set -u
headers=$("$1" -p "$2") || exit 1
status=0
fail() { echo "FAIL: $*" >&2; status=1; }
dlls=$(sed -n 's/^\tDLL Name: //p' <<<"$headers")
[ -n "$dlls" ] || fail "no imports listed"
for dll in $dlls; do
  case ${dll,,} in
    kernel32.dll | advapi32.dll | msvcrt.dll) ;;
    *) fail "imports $dll: bind it at run time (support/system_library.h)" ;;
  esac
done
flags=$(sed -n 's/^DllCharacteristics\t//p' <<<"$headers")
for bit in 0x0040:DYNAMIC_BASE 0x0100:NX_COMPAT 0x0400:NO_SEH 0x8000:TERMINAL_SERVER_AWARE; do
  (((0x$flags & ${bit%:*}) != 0)) || fail "DllCharacteristics $flags lacks ${bit#*:}"
done
grep -qE '^Entry 5 [0-9a-f]+ 0*[1-9a-f]' <<<"$headers" || fail "no base relocations"
# NO_SEH holds only while no code registers an SEH frame (a store to fs:[0]).
! "$1" -d "$2" | grep -E ',%fs:0x0$' >&2 || fail "an SEH frame is registered"
exit $status
