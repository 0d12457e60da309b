#!/bin/bash
# kestrel-sim makes its links, reports ready, and on SIGTERM (then, in a
# second run, SIGINT) ends with status 0 and removes the links.
# Usage: kestrel_sim_stop_test.sh <path of kestrel-sim>
set -u
sim="$1"
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT

for sig in TERM INT; do
  mkfifo "$dir/out" || exit 1
  "$sim" -n 2 -q -d "$dir/links" >"$dir/out" &
  pid=$!
  exec 3<"$dir/out"
  ready=no
  # Blocks on the program's output; read gives up after 10 s of silence.
  while read -r -t 10 line <&3; do
    case "$line" in *ready*) ready=yes; break ;; esac
  done
  [ "$ready" = yes ] || { echo "no ready line"; kill -KILL "$pid"; exit 1; }
  [ -L "$dir/links/modem101" ] && [ -L "$dir/links/modem102" ] || { echo "links missing"; kill -KILL "$pid"; exit 1; }
  kill -"$sig" "$pid"
  wait "$pid"
  rc=$?
  exec 3<&-
  rm -f "$dir/out"
  [ "$rc" -eq 0 ] || { echo "SIG$sig: exit status $rc"; exit 1; }
  [ ! -e "$dir/links/modem101" ] && [ ! -L "$dir/links/modem101" ] || { echo "SIG$sig: link left behind"; exit 1; }
done
echo "stopped cleanly on SIGTERM and SIGINT"
