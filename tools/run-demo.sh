#!/usr/bin/env bash
# Starts starlume with the file path already typed, then hands it the console.
set -u
bin=$1
wav=$2
exec 3< <(printf '%s\n' "$wav"; exec cat)
feeder=$!
"$bin" <&3
status=$?
kill "$feeder" 2>/dev/null
exit $status
