#!/usr/bin/env bash
# make run PORT=DEVICE refuses, with one line and a non-zero exit, a device file that is missing
# or that the user may not read and write, then a missing display: before anything starts.
# The set-up refuses too: NO_SETUP=1 with a package missing, or a system without apt.
set -u
run_app=$1
setup=$(dirname "$1")/setup
tmp=$(mktemp -d)
trap 'chmod -R u+rwx "$tmp"; rm -rf "$tmp"' EXIT
chmod 755 "$tmp"
# A copy the user nobody can reach: the checkout itself may sit in a directory only its owner
# may enter (a clone into mktemp -d). The refusals come before the script looks beside itself.
mkdir "$tmp/tools"
cp "$run_app" "$tmp/tools/run-app"
chmod 755 "$tmp/tools" "$tmp/tools/run-app"
run_app=$tmp/tools/run-app
: >"$tmp/locked"
chmod 000 "$tmp/locked"
# Root passes every access check: the permission row runs as nobody.
as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)

failures=0
# PATTERN DISPLAY PORT [COMMAND PREFIX...]: the one line must hold PATTERN. A display that names
# no X server keeps a run that wrongly passes the device checks from starting the program.
expect() {
  local pattern=$1 display=$2 port=$3 out rc
  shift 3
  out=$(DISPLAY=$display QUORBANE_BUILD=$tmp/build "$@" "$run_app" --port "$port" 2>&1)
  rc=$?
  if [ "$rc" -eq 0 ] || [ "$(printf '%s\n' "$out" | wc -l)" -ne 1 ] || [[ "$out" != *"$pattern"* ]]; then
    echo "FAIL: PORT=$port DISPLAY=$display ${*:-}: exit $rc: $out"
    failures=$((failures + 1))
  fi
}
expect "does not exist" ":999" "$tmp/none"
expect "does not exist" "" "$tmp/none"
expect "usermod -aG dialout" ":999" "$tmp/locked" "${as_user[@]}"
expect "no display" "" /dev/null
expect "no display" ":999" /dev/null
# A system where dpkg says nothing is installed, with and without apt: only these commands exist.
mkdir "$tmp/bin"
for c in bash grep id; do ln -s "$(command -v $c)" "$tmp/bin/$c"; done
setup_says() {  # PATTERN ENV...: tools/setup run fails, its words hold PATTERN
  local pattern=$1 out; shift
  out=$(env -i PATH="$tmp/bin" "$@" "$setup" run 2>&1) && { echo "FAIL: setup passed: $*"; failures=$((failures + 1)); return; }
  [[ "$out" == *"$pattern"* ]] || { echo "FAIL: setup $*: $out"; failures=$((failures + 1)); }
}
setup_says "no apt; install these packages" NO_SETUP=
printf '#!%s\nexit 1\n' "$(command -v bash)" >"$tmp/bin/dpkg-query"; chmod 755 "$tmp/bin/dpkg-query"
setup_says "NO_SETUP is set, and these Debian packages are missing" NO_SETUP=1
[ ! -e "$tmp/build" ] || { echo "FAIL: a refused run left $tmp/build"; failures=$((failures + 1)); }
exit $((failures > 0))
