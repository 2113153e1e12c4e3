#!/bin/sh
# The engine's house rules, checked on its sources and its built library:
#   - the engine, the chip table and the firmware images include nothing of the windows, the
#     application or the operating system: their own headers, the serial port interface and
#     the C++ standard library only;
#   - their libraries define no writable data: no object in .data, .bss or a thread-local
#     section (constant tables holding pointers land in .data.rel.ro, which is fine);
#   - the station knows the engine, the firmware, the serial ports, the chips and the text
#     helpers, never trevane-cli or the windows.
#   engine_rules.sh SOURCE_DIR OBJDUMP LIBRARY...
set -u
src=$1
objdump=$2
shift 2
status=0

for dir in engine chips firmware; do
    for file in "$src/src/$dir"/*.h "$src/src/$dir"/*.cpp; do
        [ -e "$file" ] || continue
        # Quoted includes: this program's own headers of the allowed rooms. Angle includes:
        # standard C++ headers only (no extension, no folder).
        bad=$( (grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
            grep -v -E '"(engine|chips|firmware)/[a-z_]+\.h"|"serial/serial_port\.h"'
            grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*<' "$file" |
            grep -E '<[^>]*[./][^>]*>') )
        if [ -n "$bad" ]; then
            echo "$bad" | sed "s|^|$file:|; s|\$| (not for the engine)|"
            status=1
        fi
    done
done

# The station: the engine, the firmware, the serial layer's shared headers (no posix/ or win32/
# ones), the chips, the text helpers and JSON; nothing of
# trevane-cli, the windows or an operating system outside its posix/ and win32/ record files.
for file in "$src/src/station"/*.h "$src/src/station"/*.cpp; do
    [ -e "$file" ] || continue
    bad=$( (grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
        grep -v -E '"(engine|chips|firmware|station|text)/[a-z_]+\.h"|"serial/([a-z_]+/)?[a-z_]+\.h"'
        grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*<' "$file" |
        grep -v -E '<nlohmann/json\.hpp>' | grep -E '<[^>]*[./][^>]*>') )
    if [ -n "$bad" ]; then
        echo "$bad" | sed "s|^|$file:|; s|\$| (not for the station)|"
        status=1
    fi
done

for library in "$@"; do
    # Objects (flag O) and thread-local variables in writable sections; section symbols (flag
    # d) are left out, and so are the unwinder's personality references, which the compiler
    # adds wherever exceptions may pass and which hold no program state.
    found=$("$objdump" -t "$library" |
        sed -n -E 's/^[0-9a-f]+ (.{7}) ([^\t]+)\t[0-9a-f]+ (.*)$/\1|\2|\3/p' |
        awk -F'|' '$1 !~ /d/ && ($1 ~ /O/ || $2 ~ /^\.t(data|bss)/) { print $2, $3 }' |
        grep -E '^\.(data|bss|tdata|tbss)' | grep -v -E '^\.data\.rel\.ro' |
        grep -v -E ' (\.hidden )?DW\.ref\.')
    if [ -n "$found" ]; then
        echo "$library defines writable data:"
        echo "$found"
        status=1
    fi
done
[ $status -eq 0 ] && echo "engine rules hold"
exit $status
