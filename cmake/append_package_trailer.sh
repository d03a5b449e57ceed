#!/bin/sh
# append_package_trailer.sh PACKAGE_FILE TEXT...
# Ends a freshly linked package with its information trailer: the TEXTs in the order given,
# each with its NUL, then their byte count as a little-endian 32-bit word. The TEXT "SIG"
# becomes "SIG=" and the Base64 of the SHA-512 digest of the package as linked. Only POSIX
# sh and coreutils are used, so the build needs nothing more.
#
# The trailer is written to a copy that then takes the package's name: a step cut short
# leaves the package as linked, never one with half a trailer.
set -eu
# Byte counts, not character counts, whatever the caller's locale.
LC_ALL=C
export LC_ALL

file=$1
shift

# One byte, given as a number, written raw.
byte() {
    printf "\\$(printf '%03o' "$1")"
}

# The Base64 of the 64-byte SHA-512 digest of the package as linked.
digest=$(sha512sum "$file" | cut -d ' ' -f 1)
sig=$(
    rest=$digest
    while [ -n "$rest" ]; do
        pair=${rest%"${rest#??}"}
        rest=${rest#??}
        byte $((0x$pair))
    done | base64 -w 0
)
if [ ${#sig} -ne 88 ]; then
    echo "append_package_trailer.sh: unexpected digest for $file" >&2
    exit 1
fi

partial="$file.trailer-partial"
trap 'rm -f "$partial"' EXIT
cp "$file" "$partial"

count=0
for text in "$@"; do
    if [ "$text" = SIG ]; then
        text="SIG=$sig"
    fi
    printf '%s\000' "$text" >>"$partial"
    count=$((count + ${#text} + 1))
done

{
    byte $((count & 255))
    byte $(((count >> 8) & 255))
    byte $(((count >> 16) & 255))
    byte $(((count >> 24) & 255))
} >>"$partial"
mv "$partial" "$file"
