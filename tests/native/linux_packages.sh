#!/usr/bin/env bash
# qsync's Linux packages as make linux builds them (tools/dist-linux, into BUILD): the files each
# holds, the manual page's sections and date, the archive's qsync static and running, and the bash
# completion in a plain bash. Also: a CHANGELOG.md whose top section has no date builds nothing.
#   linux_packages.sh ROOT BUILD
set -u
root=$1 build=$2
version=$(tr -d '[:space:]' <"$root/VERSION")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
same() {  # WHAT EXPECTED ACTUAL
  [ "$2" = "$3" ] || fail "$1: expected [$2], got [$3]"
}

QUORBANE_BUILD=$build "$root/tools/dist-linux" >"$tmp/dist.log" 2>&1 || { cat "$tmp/dist.log"; fail "dist-linux"; exit 1; }
grep -E '^[EW]: ' "$tmp/dist.log" && fail "lintian"

deb=$build/dist/qsync_${version}_amd64.deb
same "the package's files" "./usr/bin/qsync
./usr/share/bash-completion/completions/qsync
./usr/share/doc/qsync/README
./usr/share/doc/qsync/changelog.gz
./usr/share/doc/qsync/copyright
./usr/share/doc/qsync/examples/synchronizer.ini
./usr/share/man/man1/qsync.1.gz" "$(dpkg-deb -c "$deb" | awk '!/\/$/ {print $6}' | sort)"
[[ $(dpkg-deb -f "$deb" Depends) == "libc6 (>= "*")" ]] || fail "Depends: $(dpkg-deb -f "$deb" Depends)"

tar -C "$tmp" -xzf "$build/dist/qsync-$version-linux-x86_64.tar.gz"
folder=$tmp/qsync-$version
same "the archive's files" "README copyright examples/synchronizer.ini qsync qsync-completion.bash qsync.1" \
  "$(cd "$tmp" && find "qsync-$version" -type f | sed "s|^qsync-$version/||" | sort | tr '\n' ' ' | sed 's/ $//')"

# The manual page: its sections in order, and the release's date from CHANGELOG.md.
same "the manual page's sections" "NAME|SYNOPSIS|DESCRIPTION|COMMANDS|OPTIONS|SETTINGS FILE|EXIT STATUS|DIAGNOSTICS|FILES|EXAMPLES|SEE ALSO" \
  "$(sed -n 's/^\.SH "\{0,1\}\([^"]*\)"\{0,1\}$/\1/p' "$folder/qsync.1" | paste -sd'|')"
same "the manual page's date" "$(sed -n '0,/^## /s/^## .* - //p' "$root/CHANGELOG.md")" \
  "$(sed -n 's/^\.TH QSYNC 1 "\([^"]*\)".*/\1/p' "$folder/qsync.1")"
grep -n '@[A-Z]*@' "$folder/qsync.1" "$folder/README" && fail "a placeholder left"

# Static: no interpreter, no library; it runs, and reads the example it comes with.
readelf -l "$folder/qsync" | grep -q INTERP && fail "the archive's qsync has an interpreter"
readelf -d "$folder/qsync" | grep -q NEEDED && fail "the archive's qsync needs a library"
[[ $(ldd "$folder/qsync" 2>&1) == *"statically linked"* ]] || fail "ldd: $(ldd "$folder/qsync" 2>&1)"
same "qsync --version" "qsync $version ($(git -C "$root" rev-parse --short=7 HEAD))" "$("$folder/qsync" --version)"
"$folder/qsync" show "$folder/examples/synchronizer.ini" >/dev/null || fail "show examples/synchronizer.ini"

# The completion in a plain bash: a command, an option of that command only, ports that exist (a
# by-id link to a character device; a plain file is no port), and settings files and folders.
mkdir -p "$tmp/dev/serial/by-id" "$tmp/work/shows"
ln -s /dev/null "$tmp/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0"
: >"$tmp/dev/ttyUSB3"
: >"$tmp/work/show.ini"
: >"$tmp/work/line.txt"
completes() {  # EXPECTED WORD...: what completing the last word offers
  local expected=$1
  shift
  same "qsync $*" "$expected" "$(cd "$tmp/work" && QSYNC_COMPLETION_DEV=$tmp/dev bash --norc --noprofile -c \
    '. "$1"; shift; COMP_WORDS=(qsync "$@"); COMP_CWORD=$#; _qsync; printf "%s\n" "${COMPREPLY[@]}" | sort | paste -sd" "' \
    - "$folder/qsync-completion.bash" "$@")"
}
completes "verify" ve
completes "--model-channel" write --m
completes "" read --m
completes "$tmp/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0" read ""
completes "show.ini shows" show ""

# A release without its date: refused before anything is built.
mkdir "$tmp/undated" "$tmp/undated/tools"
cp "$root/VERSION" "$tmp/undated/"
cp "$root/tools/dist-linux" "$tmp/undated/tools/"
sed '0,/^## /s/^## .*/## '"$version"'/' "$root/CHANGELOG.md" >"$tmp/undated/CHANGELOG.md"
out=$(QUORBANE_BUILD=$tmp/undated/build "$tmp/undated/tools/dist-linux" 2>&1) && fail "an undated release was built"
[[ $out == *"has no date"* ]] || fail "undated release: $out"
[ ! -e "$tmp/undated/build" ] || fail "an undated release left a build"
exit $((failures > 0))
