#!/usr/bin/env bash
# The Windows release as files, before anything runs: the zip holds exactly the program, the
# licence and the readme, and the installer the same three files; the program says the project's
# version in its version information, as Explorer shows it; the installer carries that version;
# and wixl builds the installer's source without a word of warning (it passes over what it does
# not know with a warning alone).
# Usage: windows_release_files.sh VERSION MSI ZIP WXS RELEASE_FILES LICENSE
set -euo pipefail
[[ $# -eq 6 ]] || { echo "usage: $0 VERSION MSI ZIP WXS RELEASE_FILES LICENSE" >&2; exit 2; }
version=$1 msi=$(realpath "$2") zip=$(realpath "$3") wxs=$(realpath "$4") files=$5 licence=$6
for tool in wixl msiinfo msiextract wrestool unzip python3; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool (scripts/install-deps.sh)" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/skarvel-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

expected=$'LICENSE.txt\nREADME.txt\nskarvel.exe'
listed=$(unzip -Z1 "$zip" | LC_ALL=C sort)
[[ $listed == "$expected" ]] || fail "$(basename "$zip") holds: $(tr '\n' ' ' <<<"$listed")"
mkdir "$work/zip" "$work/msi"
unzip -q "$zip" -d "$work/zip"
msiextract -C "$work/msi" "$msi" >/dev/null
installed=$(cd "$work/msi" && find . -type f -printf '%f\n' | LC_ALL=C sort)
[[ $installed == "$expected" ]] || fail "$(basename "$msi") installs: $(tr '\n' ' ' <<<"$installed")"
for file in $expected; do
    shipped=$(find "$work/msi" -type f -name "$file" | head -n 1)
    [[ -n $shipped ]] && cmp -s "$shipped" "$work/zip/$file" || fail "$file differs between the installer and the zip"
done
grep -q $'\r$' "$work/zip/README.txt" || fail "README.txt has no Windows line ends"

# Explorer's Details: four numbers, and the strings.
fixed=$version
while [[ $(tr -cd . <<<"$fixed" | wc -c) -lt 3 ]]; do fixed+=.0; done
info=$(wrestool -x --raw -t 16 "$work/zip/skarvel.exe" | python3 "$(dirname "$0")/windows_version_info.py") \
    || fail "no version information in skarvel.exe"
echo "$info"
copyright=$(grep -m 1 '^Copyright ' "$licence" | sed 's/(c)/©/')
for line in "FixedFileVersion=$fixed" "FixedProductVersion=$fixed" "FileVersion=$version" \
    "ProductVersion=$version" "ProductName=Skarvel" "OriginalFilename=skarvel.exe" "LegalCopyright=$copyright"; do
    grep -qxF "$line" <<<"$info" || fail "the version information lacks $line"
done
grep -q '^FileDescription=Skarvel..*' <<<"$info" || fail "no file description"
grep -q '^CompanyName=..*' <<<"$info" || fail "no company"

property() { msiinfo export "$msi" Property | tr -d '\r' | awk -F '\t' -v name="$1" '$1 == name { print $2 }'; }
[[ $(property ProductVersion) == "$version" ]] || fail "the installer's version is '$(property ProductVersion)', not $version"
[[ $(property ProductName) == Skarvel && -n $(property Manufacturer) ]] || fail "the installer names no product or publisher"
msiinfo suminfo "$msi" | grep -q '^Template: x64;' || fail "the installer is not for x64: $(msiinfo suminfo "$msi" | grep Template)"

# The source as wixl reads it, from the files the build gathered.
if ! (cd "$files" && wixl --arch x64 --define Version="$version" --output "$work/check.msi" "$wxs") \
        >"$work/wixl.log" 2>&1 || [[ -s $work/wixl.log ]]; then
    fail "wixl does not take $(basename "$wxs") as it is:"
    cat "$work/wixl.log" >&2
fi
[[ $status == 0 ]] && echo "PASS: $(basename "$zip"), $(basename "$msi") ($(stat -c %s "$msi") bytes)"
exit "$status"
