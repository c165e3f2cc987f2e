#!/usr/bin/env bash
# Runs the README's shell examples as a newcomer pastes them, so that they stay true.
#
# Every ```sh block of README.md carries a mark on the line before its fence:
#   <!-- readme: run -->               run by this script
#   <!-- readme: skip (REASON) -->     not run (it needs hardware, sudo, a display, or is a synopsis);
#                                      listed with its reason
# A block without a mark fails the run, so that a new example is either run or says why not.
#
# Each runnable block runs alone in a fresh scratch folder with `bash -e -o pipefail`, with the
# build's navlume and navlume-cli first on PATH, HOME in the scratch folder (the default device
# root is made there) and /usr/share/doc/navlume/examples/ standing for the same files of the
# source tree. A simulator that a block leaves running is stopped. A block that fails, or runs
# longer than its time limit, fails the run with its line number in README.md.
#   scripts/readme_examples.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
readme=README.md
block_seconds=300  # a block's time limit: the production example takes about 10 s
installed_examples=/usr/share/doc/navlume/examples

for program in "$build/tools/navlume-cli" "$build/app/navlume"; do
  [ -x "$program" ] || { echo "readme_examples: $program is not built" >&2; exit 2; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
examples=$scratch/examples  # what the package installs in $installed_examples
mkdir -p "$examples"
cp samples/sample.nmea samples/examples/* sim/scenarios/*.json "$examples/"

# Ends every simulator still running below a block's folder.
stop_simulators() {
  local pid_file
  while IFS= read -r -d '' pid_file; do
    "$build/tools/navlume-cli" sim --stop "$(dirname "$pid_file")" >/dev/null 2>&1 || true
  done < <(find "$1" -name sim.pid -print0 2>/dev/null)
}

run_block() {  # run_block LINE FILE
  local line=$1 file=$2 folder status
  folder=$scratch/block-$line
  mkdir -p "$folder/home"
  sed -i "s|$installed_examples|$examples|g" "$file"
  set +e
  (
    cd "$folder" &&
      env -u NAVLUME_ROOT -u XDG_DATA_HOME HOME="$folder/home" PATH="$build/tools:$build/app:$PATH" \
        QT_QPA_PLATFORM=offscreen timeout "$block_seconds" bash -e -o pipefail "$file"
  ) >"$folder.log" 2>&1
  status=$?
  set -e
  stop_simulators "$folder"
  if [ "$status" -ne 0 ]; then
    sed 's/^/    /' "$folder.log" >&2
    [ "$status" -eq 124 ] && echo "README.md line $line: the block ran longer than $block_seconds s" >&2
    echo "README.md line $line: the block failed (exit $status)" >&2
    return 1
  fi
  echo "ran    README.md line $line"
}

failures=0
ran=0
skipped=()
mark=""
number=0
in_block=0
while IFS= read -r text || [ -n "$text" ]; do
  number=$((number + 1))
  if [ "$in_block" = 1 ]; then
    if [ "$text" = '```' ]; then
      in_block=0
      if [ "$block_mark" = run ]; then
        ran=$((ran + 1))
        run_block "$block_line" "$block_file" || failures=$((failures + 1))
      fi
    else
      printf '%s\n' "$text" >>"$block_file"
    fi
    continue
  fi
  case $text in
    '```sh' | '```bash' | '```shell')
      in_block=1
      block_line=$number
      block_file=$scratch/block-$number.sh
      : >"$block_file"
      case $mark in
        run) block_mark=run ;;
        skip*) block_mark=skip; skipped+=("README.md line $number: ${mark#skip }") ;;
        *)
          block_mark=none
          echo "README.md line $number: a shell block without <!-- readme: run --> or <!-- readme: skip (why) -->" >&2
          failures=$((failures + 1))
          ;;
      esac
      mark=""
      ;;
    '') ;;  # a blank line keeps the mark for the fence that follows
    *)
      mark=""
      if [[ $text =~ ^\<!--\ readme:\ (run|skip.*)\ --\>$ ]]; then mark=${BASH_REMATCH[1]}; fi
      ;;
  esac
done <"$readme"

echo "not run (marked in README.md):"
for entry in "${skipped[@]}"; do echo "  $entry"; done
echo "README examples: $ran run, ${#skipped[@]} not run, $failures failed"
[ "$failures" -eq 0 ]
