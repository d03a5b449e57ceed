#!/bin/sh
# append_package_trailer.sh PACKAGE_FILE FILE_NAME
# Appends the package information trailer to a freshly linked package: the texts below,
# each with its NUL, then their byte count as a little-endian 32-bit word. Only POSIX sh
# and coreutils are used, so the build needs nothing more.
set -eu

file=$1
name=$2

# One byte, given as a number, written raw.
byte() {
    printf "\\$(printf '%03o' "$1")"
}

# SIG: the Base64 of the 64-byte SHA-512 digest of the package as linked.
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

count=0
for text in \
    "PACKAGE_INFO" \
    "FILENAME=$name" \
    "OS=ubuntu1804" \
    "ARCH=x86_64" \
    "VERSION=2.0.0" \
    "DATE=20221231" \
    "TARGET=tarnvel" \
    "SIG=$sig" \
    "GENID=Korvix" \
    "DESCRIPTION=Component for decoding CSI2 data stream from camera"; do
    printf '%s\000' "$text" >>"$file"
    count=$((count + ${#text} + 1))
done

{
    byte $((count & 255))
    byte $(((count >> 8) & 255))
    byte $(((count >> 16) & 255))
    byte $(((count >> 24) & 255))
} >>"$file"
