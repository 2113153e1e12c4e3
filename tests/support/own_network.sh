#!/bin/sh
# Runs a command in a network namespace of its own with its loopback up: the UDP ports 3000 and
# 3004 and the abstract socket of the instance lock are then the command's alone, so that a copy
# of Trevane that a user runs and tests that run side by side never meet.
#   own_network.sh COMMAND [ARGUMENTS...]
# As root a new network namespace does; anyone else gets one in a user namespace of their own,
# in which they are root (unshare -rn).
if [ "$(id -u)" = 0 ]; then
    exec unshare -n sh -c 'ip link set lo up && exec "$@"' own_network "$@"
fi
exec unshare -rn sh -c 'ip link set lo up && exec "$@"' own_network "$@"
