#!/usr/bin/env bash
# Refuses an include that reaches up the layers (docs/ARCHITECTURE.md): each
# layer's sources may include only the layers in its row below, only the
# Qt program (app/, app/pages/) may include Qt, and only results/ the
# PostgreSQL client (libpq). The program, the tests, the benchmarks and the
# fuzz targets stand on top and are not checked.
#   check_layers.sh [SOURCE_DIR]   prints every upward include; exit 1 if any
set -euo pipefail
source_dir=${1:-$(dirname "$0")/..}
cd "$source_dir"

# Layer: the layers its sources may include, itself first.
declare -A may_use=(
  [platform]="platform"
  [nmea]="nmea platform"
  [serial]="serial platform"
  [device]="device nmea serial platform"
  [prodtest]="prodtest device nmea serial platform"
  [results]="results prodtest device nmea serial platform"
  [sim]="sim nmea platform"
  [app/pages/logic]="app/pages/logic prodtest device nmea serial platform"
  [tools]="tools results sim prodtest device nmea serial platform"
)
# Folders an include may name.
folders=(app/pages/logic app/pages app resources tests bench fuzz "${!may_use[@]}")

# The folder a path lies in, by the longest matching name, into $folder (empty for none).
folder_of() {
  local candidate
  folder=""
  for candidate in "${folders[@]}"; do
    if [[ $1 == "$candidate"/* && ${#candidate} -gt ${#folder} ]]; then folder=$candidate; fi
  done
}

upward=0
refuse() {
  echo "$1: $2 ($3 may include only: ${may_use[$3]})" >&2
  upward=1
}

for layer in "${!may_use[@]}"; do
  [ -d "$layer" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    directive=${rest#*:}
    # A file of a deeper layer (app/pages/logic inside app/pages) is checked as that layer.
    folder_of "$file"
    [ "$folder" = "$layer" ] || continue
    if [[ $directive =~ \#[[:space:]]*include[[:space:]]*\<(Q[A-Za-z]*)[/\>] ]]; then
      refuse "$file:$line" "includes Qt (<${BASH_REMATCH[1]}>)" "$layer"
    elif [[ $layer != results && $directive =~ \#[[:space:]]*include[[:space:]]*\<((libpq-fe|libpq/|pqxx/)[^\>]*)\> ]]; then
      refuse "$file:$line" "includes the PostgreSQL client (<${BASH_REMATCH[1]}>)" "$layer"
    elif [[ $directive =~ \#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      included=${BASH_REMATCH[1]}
      # A name without a folder is a neighbour in the same folder.
      if [[ $included != */* && -e "${file%/*}/$included" ]]; then continue; fi
      folder_of "$included"
      if [[ -z $folder || " ${may_use[$layer]} " != *" $folder "* ]]; then
        refuse "$file:$line" "includes \"$included\"" "$layer"
      fi
    elif [[ $directive =~ \#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
      # The repository root is on the include path, so <device/...> reaches a layer too.
      included=${BASH_REMATCH[1]}
      folder_of "$included"
      if [[ -n $folder && " ${may_use[$layer]} " != *" $folder "* ]]; then
        refuse "$file:$line" "includes <$included>" "$layer"
      fi
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include' --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.cc' "$layer" || true)
done
if [ "$upward" -ne 0 ]; then
  echo "upward includes: a layer may use only the layers below it" >&2
  exit 1
fi
echo "layers: no upward include"
