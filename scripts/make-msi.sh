#!/usr/bin/env bash
# Builds the Windows installers with wixl from packaging/tlg.wxs:
#   tlg-VERSION-x64.msi   both decoder DLLs, 64-bit tlg.exe, read-me, licence
#   tlg-VERSION-x86.msi   the 32-bit decoder and 32-bit tlg.exe, for 32-bit Windows
#   scripts/make-msi.sh FILES_DIR TOOL32 OUT_DIR VERSION
# FILES_DIR holds what the zip holds (tlgwic32.dll, tlgwic64.dll, tlg.exe,
# README.txt, LICENSE.txt), TOOL32 the 32-bit tlg.exe. Called by package.sh.
# The same inputs give the same bytes: every code is derived from the
# version and the inputs, and times come from SOURCE_DATE_EPOCH.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
files=$(cd "$1" && pwd) tool32=$(realpath "$2") out=$3 version=$4
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}

guid() { sed -n "s/^#define $1 \"\(.*\)\"$/\1/p" "$root/wic/guids.h"; }
decoder=$(guid TLG_WIC_DECODER_CLSID) container=$(guid TLG_WIC_CONTAINER_FORMAT) vendor=$(guid TLG_WIC_VENDOR)
[ -n "$decoder" ] && [ -n "$container" ] && [ -n "$vendor" ] || { echo "make-msi: no GUIDs in wic/guids.h"; exit 1; }
# A GUID named by its text: fixed for a version and its inputs, new for new ones.
derived() { python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' "$@"; }

# wixl takes sources relative to where it runs: everything goes into one folder.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$root"/packaging/tlg.wxs "$root"/packaging/tlg-codec*.wxi "$files"/tlgwic32.dll "$files"/tlgwic64.dll \
  "$files/README.txt" "$files/LICENSE.txt" "$stage/"
mkdir -p "$stage/x64" "$stage/x86"
cp "$files/tlg.exe" "$stage/x64/tlg.exe"
cp "$tool32" "$stage/x86/tlg.exe"
# The cabinet records each file's time.
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p "$out"
out=$(cd "$out" && pwd)

build_msi() {  # build_msi ARCH UPGRADE_CODE TOOL_GUID DOCUMENTS_GUID WIN64
  local arch=$1 upgrade=$2 msi="$out/tlg-$version-$1.msi"
  local inputs
  inputs=$(cd "$stage" && cat tlg.wxs tlg-codec*.wxi tlgwic*.dll "$arch/tlg.exe" README.txt LICENSE.txt |
           sha256sum | cut -d' ' -f1)
  (cd "$stage" && wixl -a "$arch" -o "$msi.tmp" \
    -D Arch="$arch" -D Version="$version" -D Win64="$5" \
    -D UpgradeCode="$upgrade" -D ProductCode="$(derived "$upgrade" "$version")" \
    -D DecoderClsid="$decoder" -D ContainerFormat="$container" -D Vendor="$vendor" \
    -D ToolGuid="$3" -D DocumentsGuid="$4" -D ToolSource="$arch/tlg.exe" \
    -D ReadmeSource=README.txt -D LicenseSource=LICENSE.txt tlg.wxs)
  # wixl's package code is random and its times are now: ours are derived.
  python3 "$root/scripts/msi_stamp.py" "$msi.tmp" "$(derived "$upgrade" "$version $inputs")" "$SOURCE_DATE_EPOCH"
  mv "$msi.tmp" "$msi"
}

build_msi x64 BC0B7401-9A41-4F8F-BA53-0B35B08B8B05 \
  FF99149C-EC5C-4E27-AECA-6783702A3E26 8BE30E43-28B4-4B15-8B78-EBFE64760AA7 yes
build_msi x86 44AD6DC4-7221-46E0-BEB2-192A7F904740 \
  8BE8EC95-3CA9-43F5-AFD8-25EE82C307C6 F371512C-D560-4E1E-A1AD-A8AC722C9926 no
