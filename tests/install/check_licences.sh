#!/usr/bin/env bash
# check_licences.sh PREFIX LIST
# Checks every ELF file installed under PREFIX (programs and modules) against
# the libraries of LIST (gpl-only-libraries.txt): none may be linked, neither
# by the file itself (its NEEDED entries, readelf) nor by what the loader
# brings in with them (ldd), and no symbol of theirs may be in the file (their
# code linked statically; nm, so a stripped file is checked by its links only).
# No exceptions: a GPL-only library brought in by any other library is a
# finding too.
# Exit status 1 and one line per finding when anything is linked.
set -uo pipefail
prefix=$1
list=$2
for tool in readelf nm ldd; do
  command -v "$tool" >/dev/null || { echo "check_licences: $tool not found" >&2; exit 2; }
done

names=() symbols=()
while read -r name licence symbol _; do
  case "$name" in ''|'#'*) continue ;; esac
  names+=("$name")
  symbols+=("${symbol:-}")
done <"$list"

# lib/libNAME.so.7 and libNAME-1.2.so are libNAME; libNAMEmore.so is not.
matches() {  # matches LIBFILE NAME
  local base=${1##*/}
  [[ $base == "$2".so* || $base == "$2"-[0-9]*.so* ]]
}

found=0
files=0
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  files=$((files + 1))
  rel=${file#"$prefix"/}
  mapfile -t needed < <(readelf -d "$file" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\].*/\1/p')
  mapfile -t loaded < <(ldd "$file" 2>/dev/null | awk '{print $1}')
  mapfile -t defined < <({ nm --defined-only "$file" 2>/dev/null; nm -D --defined-only "$file" 2>/dev/null; } |
    awk '{print $NF}')
  for i in "${!names[@]}"; do
    name=${names[$i]}
    for lib in "${needed[@]}"; do
      if matches "$lib" "$name"; then
        echo "$rel links $lib (${name}: GPL only)"; found=1
      fi
    done
    for lib in "${loaded[@]}"; do
      matches "$lib" "$name" || continue
      if ! printf '%s\n' "${needed[@]}" | grep -qxF "$lib"; then
        echo "$rel brings in $lib through its libraries (${name}: GPL only)"; found=1
      fi
    done
    symbol=${symbols[$i]}
    if [ -n "$symbol" ]; then
      hits=$(printf '%s\n' "${defined[@]}" | grep -c "^${symbol}" || true)
      if [ "$hits" -gt 0 ]; then
        echo "$rel holds $hits symbols ${symbol}* (${name} linked in)"; found=1
      fi
    fi
  done
done < <(find "$prefix" -type f \( -perm -u+x -o -name '*.so*' \) -print0)

if [ "$files" = 0 ]; then
  echo "check_licences: no program or module under $prefix" >&2
  exit 2
fi
echo "check_licences: $files installed programs and modules checked"
exit "$found"
