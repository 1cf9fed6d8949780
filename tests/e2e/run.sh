#!/usr/bin/env bash
# Runs one end-to-end test case in a private network namespace of its own, so
# that its snmptrapd can take 127.0.0.1:162 and its agents any port.
#   run.sh CASE    (CASE is a function case_CASE of cases.sh)
# Exit status 0 pass, 1 fail, 77 skipped.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${UPSTEST_E2E_NETNS:-}" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: a private network namespace needs root"
    exit 77
  fi
  export UPSTEST_E2E_NETNS=1
  exec unshare -n -- bash "$here/run.sh" "$@"
fi
ip link set lo up || { echo "FAIL: cannot bring up lo in the namespace"; exit 1; }

source "$here/lib.sh"
for cases in "$here"/cases*.sh; do source "$cases"; done
case_name=${1:?which case}
declare -F "case_$case_name" >/dev/null || { echo "no case $case_name"; exit 2; }
"case_$case_name"
finish
