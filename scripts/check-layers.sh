#!/usr/bin/env bash
# Checks that every folder includes only the folders below it (docs/architecture.md):
# prints each include that reaches up or sideways and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# What each folder may include besides itself.
declare -A allowed=(
  [core]=""
  [formats]="core"
  [link]="core formats"
  [j1939]="core"
  [sim]="core formats link"
  [monitor]="core formats link"
  [fms]="core formats link j1939"
  [slcan]="core formats link"
  [report]="core formats link j1939 fms"
  [app]="core formats link j1939 sim monitor fms"
  [tools]="core formats link j1939 sim monitor fms slcan report"
  [packaging]=""
)

status=0
while IFS= read -r file; do
  folder=${file%%/*}
  case "$folder" in tests|bench) continue ;; esac
  if [ -z "${allowed[$folder]+set}" ]; then
    echo "$file: folder $folder has no place in the layering"
    status=1
    continue
  fi
  while IFS= read -r target; do
    [ "$target" = "$folder" ] && continue
    case " ${allowed[$folder]} " in
      *" $target "*) ;;
      *) echo "$file includes $target/, which $folder/ may not include"; status=1 ;;
    esac
  done < <(grep -oE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z0-9_]+/' "$file" | sed -E 's/.*"//; s#/$##' | sort -u)
done < <(find . \( -path './.*' -o -path './build*' \) -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print \
           | sed 's#^\./##' | sort)
exit $status
