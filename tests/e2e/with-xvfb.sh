#!/usr/bin/env bash
# Runs a command on a private Xvfb display that goes away with it.
#   with-xvfb.sh COMMAND [ARGS...]
set -uo pipefail
display=""
for n in $(seq $((500 + $$ % 100)) 699); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display"; exit 1; }
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
runtime=$(mktemp -d /tmp/qenbox-xdg.XXXXXX)
DISPLAY=":$display" XDG_RUNTIME_DIR="$runtime" NO_AT_BRIDGE=1 "$@"
status=$?
rm -rf "$runtime"
exit $status
