#!/usr/bin/env bash
# Every relative link of the project's Markdown documents must lead
# somewhere: the file exists, and a #fragment names a heading of it (in the
# form the repository host gives headings: lower case, punctuation dropped,
# blanks as hyphens).  Prints each broken link; exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C.UTF-8

slug() { tr '[:upper:]' '[:lower:]' | sed -e 's/[^[:alnum:] _-]//g' -e 's/ /-/g'; }

# The headings of a Markdown file as fragments, fenced code left out.
fragments() {
  awk '/^```/ { fenced = !fenced; next } !fenced && /^#+ / { sub(/^#+ +/, ""); print }' "$1" | slug
}

broken=0
while IFS= read -r document; do
  directory=$(dirname "$document")
  # Inline links [text](target), one per line of output.
  while IFS= read -r target; do
    case $target in
      http://* | https://* | mailto:*) continue ;;
    esac
    file=${target%%#*}
    fragment=
    [[ $target == *#* ]] && fragment=${target#*#}
    path=$document
    [ -n "$file" ] && path=$directory/$file
    if [ ! -e "$path" ]; then
      echo "$document: $target: no such file" >&2
      broken=1
    elif [ -n "$fragment" ] && [[ $path == *.md ]] && ! fragments "$path" | grep -qxF -- "$fragment"; then
      echo "$document: $target: no such heading in $path" >&2
      broken=1
    fi
  done < <(grep -oE '\]\([^)[:space:]]+\)' "$document" | sed -e 's/^](//' -e 's/)$//')
done < <(find . -name '*.md' -not -path './build*' -not -path './.git/*' -not -path '*/fuzz/corpus/*' | sort)
exit "$broken"
