#!/bin/bash
# Checks the release's two packages before they are handed out:
# - the ZIP holds one top folder, named as the ZIP;
# - every text file of both ends each line in CR LF (Notepad before Windows
#   Server 2019 shows LF-only text as one line); the task definition (.xml)
#   is UTF-16 with its byte-order mark, as Task Scheduler writes one;
# - the MSI installs exactly the files at the top of the ZIP and its x64
#   programs, byte for byte the same.
# Text files that go out beside the two (the installer's commands) are
# checked for their line ends too.
#   check-release.sh ZIP MSI [FILE...]    prints each fault; exit 1 when there is one
set -euo pipefail
zip=$(realpath "$1") msi=$(realpath "$2")
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/zip" "$work/msi" "$work/beside"
[ $# -eq 0 ] || cp "$@" "$work/beside/"
(cd "$work/zip" && cmake -E tar xf "$zip")
msiextract -C "$work/msi" "$msi" >/dev/null

faults=0
fault() { echo "$*" >&2; faults=$((faults + 1)); }

top=$(basename "$zip" .zip)
[ "$(ls -A "$work/zip")" = "$top" ] || fault "$(basename "$zip"): the top folder is not $top\\ alone: $(ls -A "$work/zip" | tr '\n' ' ')"
zip_top=$work/zip/$top
msi_dir=$(find "$work/msi" -name dialgate.dll -printf '%h\n' | head -n 1)
[ -n "$msi_dir" ] || { fault "$(basename "$msi"): no dialgate.dll"; exit 1; }

# Lines of a text file that do not end in CR LF (a last line without any
# end counts as one).
bare_lines() {
  case $1 in
    *.xml)
      [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" = fffe ] || { echo "no UTF-16 byte-order mark"; return; }
      iconv -f UTF-16 -t UTF-8 "$1" | LC_ALL=C grep -c -v $'\r$' || true ;;
    *) LC_ALL=C grep -c -v $'\r$' "$1" || true ;;
  esac
}
while IFS= read -r -d '' file; do
  bare=$(bare_lines "$file")
  [ "$bare" = 0 ] || fault "${file#$work/}: $bare line(s) without CR LF"
done < <(find "$work" -type f \( -name '*.md' -o -name '*.ini' -o -name '*.txt' -o -name '*.cmd' -o -name '*.xml' \) -print0)

for installed in "$msi_dir"/*; do
  name=$(basename "$installed")
  shipped=$zip_top/$name
  [ -f "$shipped" ] || shipped=$zip_top/x64/$name
  if [ ! -f "$shipped" ]; then fault "the MSI installs $name, which the ZIP does not hold"
  elif ! cmp -s "$installed" "$shipped"; then fault "$name differs between the MSI and the ZIP"; fi
done
for shipped in "$zip_top"/*; do
  [ -f "$shipped" ] && [ ! -f "$msi_dir/$(basename "$shipped")" ] &&
    fault "the ZIP holds $(basename "$shipped"), which the MSI does not install"
done

[ $faults -eq 0 ] || { echo "$faults fault(s) in $(basename "$zip") and $(basename "$msi")" >&2; exit 1; }
echo "$(basename "$zip") and $(basename "$msi"): CR LF text, the same files"
