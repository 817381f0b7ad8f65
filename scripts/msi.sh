#!/usr/bin/env bash
# Builds one Windows Installer package from package/qvlsvce.wxs: ARCH win64 or win32, the
# executables from BIN (qvlsvce.exe and qvl.exe, signed already when they are to be), VERSION
# (the project's, unless a test needs another), written to OUT. The service's name, display name
# and description are taken from where qvl install keeps them, the most seconds qvl takes from
# qvl.h. Then the tables this wixl cannot write are edited in, all before any signing (a
# signature covers the tables):
#   - the folder's permissions (LockPermissions, read by every Windows Installer version): the
#     folder is made with them, so no file in it is ever open to users; LocalSystem always keeps
#     full control, and only the names every language spells alike are used;
#   - every qvl action runs the package's own copy of qvl.exe (the Binary table, type 3074:
#     an executable from Binary, deferred, as LocalSystem), never the file in the folder;
#   - every public property is secure (SecureCustomProperties), so that a value given to an
#     installation whose interface runs unelevated still reaches the elevated part that acts;
#   - the Upgrade row of older versions includes this version, so a rebuild of it replaces the
#     one installed instead of standing beside it (wixl drops IncludeMaximum; Attributes is a
#     key column, so the row is deleted and inserted, not updated).
#   - the search, by AppSearch, for the folder the package is told to make (QVL_PROBE_DIR, a
#     formatted path) before anything is made: QVL_FOLDER_FOUND holds it only if it was there
#     (wixl writes no DirectorySearch); the package vouches with --made-locked only for a folder
#     it made.
# Usage: scripts/msi.sh ARCH BIN VERSION OUT
set -euo pipefail
arch=$1 bin=$(cd "$2" && pwd) version=$3 out=$(realpath -m "$4")
top=$(cd "$(dirname "$0")/.." && pwd)
case $arch in win64) wixarch=x64 ;; win32) wixarch=x86 ;; *) echo "usage: msi.sh win64|win32 BIN VERSION OUT" >&2; exit 2 ;; esac
text() { sed -n "s/^$1 = \"\\(.*\\)\";/\\1/p" "$2"; }
service=$(sed -n 's/^const char\* const SERVICE_NAME = "\(.*\)";/\1/p' "$top/host/entry.h")
display=$(text 'const char DISPLAY_NAME\[\]' "$top/tools/qvl/install.cpp")
description=$(text 'const char DESCRIPTION\[\]' "$top/tools/qvl/install.cpp")
seconds=$(sed -n 's/^const long SECONDS_MAX = \([0-9]*\);.*/\1/p' "$top/tools/qvl/qvl.h")
[ -n "$service" ] && [ -n "$display" ] && [ -n "$description" ] && [ -n "$seconds" ] ||
    { echo "msi.sh: the service's names or qvl's most seconds were not found" >&2; exit 1; }
(cd "$bin" && wixl -a "$wixarch" -D Arch="$wixarch" -D Version="$version" -D Service="$service" \
    -D DisplayName="$display" -D Description="$description" -D SecondsMax="$seconds" -o "$out" "$top/package/qvlsvce.wxs")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Everyone may read and run what the folder holds (the files inherit it); Administrators have
# it all. Permission is a signed 32-bit column: GENERIC_ALL, GENERIC_READ | GENERIC_EXECUTE.
printf '%s\r\n' $'LockObject\tTable\tDomain\tUser\tPermission' $'s72\ts32\tS255\ts255\tI4' \
    $'LockPermissions\tLockObject\tTable\tDomain\tUser' \
    $'INSTALLDIR\tCreateFolder\t\tAdministrators\t268435456' \
    $'INSTALLDIR\tCreateFolder\t\tEveryone\t-1610612736' >"$work/LockPermissions.idt"
# wixl writes each action as one on the installed file (type 3090, source qvl); the same action
# on the Binary row instead keeps every other bit.
(cd "$work" && msiinfo export "$out" CustomAction >CustomAction.idt)
awk -F'\t' -v OFS='\t' '$2 == "3090" && $3 == "qvl" { $2 = "3074"; $3 = "QvlTool" } { print }' \
    "$work/CustomAction.idt" >"$work/CustomAction.new" && mv "$work/CustomAction.new" "$work/CustomAction.idt"
grep -q $'\t3090\t' "$work/CustomAction.idt" && { echo "msi.sh: an action still runs the installed qvl.exe" >&2; exit 1; }
# Depth 0: the folder itself, never one below it.
printf '%s\r\n' $'Signature_\tParent\tPath\tDepth' $'s72\tS72\tS255\tI2' $'DrLocator\tSignature_\tParent\tPath' \
    $'FolderBefore\t\t[QVL_PROBE_DIR]\t0' >"$work/DrLocator.idt"
(cd "$work" && msiinfo export "$out" AppSearch >AppSearch.idt)
printf '%s\r\n' $'QVL_FOLDER_FOUND\tFolderBefore' >>"$work/AppSearch.idt"
(cd "$work" && msibuild "$out" -i LockPermissions.idt -i CustomAction.idt -i DrLocator.idt -i AppSearch.idt)
upgrade=$(msiinfo export "$out" Upgrade | tr -d '\r' | awk -F'\t' '$7 == "QVL_OLDER" { print $1 }')
[ -n "$upgrade" ] || { echo "msi.sh: the package has no Upgrade row for older versions" >&2; exit 1; }
msibuild "$out" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'QVL_OLDER'" \
    -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMin\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade', '0.0.0', '$version', 768, 'QVL_OLDER')"
# The public properties: each one a launch condition names, and the program's path.
public=$(grep -o 'Condition Message="\(QVL_[A-Z_]*\) takes' "$top/package/qvlsvce.wxs" | awk '{ print substr($2, 10) }' | tr '\n' ';')
msibuild "$out" -q "UPDATE \`Property\` SET \`Value\` = 'QVL_OLDER;QVL_NEWER;INSTALLDIR;${public}QVL_PROGRAM' WHERE \`Property\` = 'SecureCustomProperties'"
