#!/usr/bin/env bash
# Runs one stage of `make test` and notes how long it took in .stage-times.
#   tools/stage.sh NAME COMMAND...
name=$1
shift
began=$(date +%s)
"$@"
status=$?
seconds=$(($(date +%s) - began))
printf '%-24s %4ss%s\n' "$name" "$seconds" "$([ $status = 0 ] || echo "  FAILED ($status)")" >>.stage-times
exit $status
