#!/usr/bin/env bash
# Builds one Windows Installer package from package/qvlsvce.wxs: ARCH win64 or win32, the
# executables from BIN (qvlsvce.exe and qvl.exe, signed already when they are to be), VERSION
# (the project's, unless a test needs another), written to OUT. The service's name, display name
# and description are taken from where qvl install keeps them.
# Usage: scripts/msi.sh ARCH BIN VERSION OUT
set -euo pipefail
arch=$1 bin=$(cd "$2" && pwd) version=$3 out=$(realpath -m "$4")
top=$(cd "$(dirname "$0")/.." && pwd)
case $arch in win64) wixarch=x64 ;; win32) wixarch=x86 ;; *) echo "usage: msi.sh win64|win32 BIN VERSION OUT" >&2; exit 2 ;; esac
text() { sed -n "s/^$1 = \"\\(.*\\)\";/\\1/p" "$2"; }
service=$(sed -n 's/^const char\* const SERVICE_NAME = "\(.*\)";/\1/p' "$top/host/entry.h")
display=$(text 'const char DISPLAY_NAME\[\]' "$top/tools/qvl/install.cpp")
description=$(text 'const char DESCRIPTION\[\]' "$top/tools/qvl/install.cpp")
[ -n "$service" ] && [ -n "$display" ] && [ -n "$description" ] || { echo "msi.sh: the service's names were not found" >&2; exit 1; }
(cd "$bin" && wixl -a "$wixarch" -D Arch="$wixarch" -D Version="$version" -D Service="$service" \
    -D DisplayName="$display" -D Description="$description" -o "$out" "$top/package/qvlsvce.wxs")
