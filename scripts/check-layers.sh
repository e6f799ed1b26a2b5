#!/usr/bin/env bash
# Checks every quoted #include in engine/ and app/ against the layers: a
# folder may include from itself and from the folders its row names, never
# from a folder above it. Exits 1 and names each include that breaks a rule.
#
#   bash scripts/check-layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [engine]=""
  [app/listing]=""
  [app/core]="engine"
  [app/download]="app/core app/listing engine"
  [app/browse]="app/core app/listing engine"
  [app/cli]="app/download app/browse app/core app/listing engine"
  [app/gui/widgets]="app/core engine"
  [app/gui/options]="app/gui/widgets app/core engine"
  [app/gui/download]="app/gui/widgets app/download app/core engine"
  [app/gui/browse]="app/gui/widgets app/browse app/core engine"
  [app/gui/newtask]="app/gui/widgets app/core engine"
  [app/gui/frame]="app/gui/newtask app/gui/options app/gui/download app/gui/browse app/gui/widgets
                   app/download app/browse app/core app/listing engine"
)

bad=0
while IFS= read -r file; do
  from=$(dirname "$file")
  if [ -z "${allowed[$from]+set}" ]; then
    echo "$file: folder $from is not in the layer table"
    bad=1
    continue
  fi
  while IFS= read -r name; do
    if [ -e "$from/$name" ]; then
      to=$(dirname "$from/$name")
    elif [ -e "app/$name" ]; then
      to=$(dirname "app/$name")
    elif [ -e "engine/$name" ]; then
      to=engine
    else
      echo "$file: \"$name\" is not a header of engine/ or app/ (name it by its path below app/)"
      bad=1
      continue
    fi
    to=$(realpath -m --relative-to=. "$to")
    [ "$to" = "$from" ] && continue
    rule=$(echo ${allowed[$from]})  # one line, single spaces
    case " $rule " in
      *" $to "*) ;;
      *) echo "$file: includes \"$name\" from $to, which $from may not use"; bad=1 ;;
    esac
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find engine app -name '*.h' -o -name '*.cpp' | sort)

[ $bad -eq 0 ] && echo "layers: every include goes down"
exit $bad
