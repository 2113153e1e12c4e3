#!/bin/sh
# The Windows programs link statically: each may import the system's own DLLs only, so that it
# runs from a copied folder on any Windows PC.
#   system_dlls.sh OBJDUMP PROGRAM.exe...
set -u
objdump=$1
shift
allowed="advapi32.dll bcrypt.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll setupapi.dll
user32.dll winmm.dll ws2_32.dll"
status=0
for program in "$@"; do
    for dll in $("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'); do
        case " $(echo $allowed) " in
            *" $dll "*) ;;
            *) echo "$program imports $dll, which is not a DLL of Windows itself"; status=1 ;;
        esac
    done
done
[ $status -eq 0 ] && echo "every program imports system DLLs only"
exit $status
