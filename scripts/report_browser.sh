# Headless Chromium for the reports' scripts (journal_report.sh, log_report.sh): sourced, not run.
# The browser functions need $work, a scratch folder holding report.html (report_workspace).

# The scripts' command line, MODE [PNG] [--no-build]: report_arguments DEFAULT_PNG "$@" sets mode, png and build.
report_arguments() {
  png=$1
  shift
  mode=${1:-screenshot}
  shift || true
  build=1
  for argument in "$@"; do
    if [ "$argument" = "--no-build" ]; then build=0; else png=$argument; fi
  done
}

# Builds unless --no-build was given, installs the Debian packages named and makes $work,
# removed on exit: report_workspace PACKAGE...
report_workspace() {
  [ "$build" = 0 ] || bash scripts/build.sh
  bash scripts/deps.sh "$@"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
}

# Loads $work/report.html in headless Chromium with the extra arguments given.
browse() {
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" "$@" "file://$work/report.html"
}

# Loads the report once and fails on any console message (a script, a blocked load, a parse
# error), a chart missing from the DOM or a table that did not arrive. check_rendered NAME
check_rendered() {
  browse --enable-logging=stderr --v=0 --dump-dom >"$work/dom.html" 2>"$work/chromium.log"
  local written rendered
  written=$(grep -o '<svg ' "$work/report.html" | wc -l)
  rendered=$(grep -o '<svg ' "$work/dom.html" | wc -l)
  if grep ':CONSOLE' "$work/chromium.log" >&2 || [ "$written" -eq 0 ] || [ "$rendered" -ne "$written" ] ||
    ! grep -q '</table>' "$work/dom.html"; then
    echo "the $1 did not render cleanly: $rendered of $written charts in the DOM" >&2
    exit 1
  fi
  echo "$1 rendered in Chromium: $rendered charts, no console messages"
}

# The README's picture of the report: screenshot PNG HEIGHT, then the command and its summary.
screenshot() {
  mkdir -p "$(dirname "$1")"
  browse --hide-scrollbars --window-size="1280,$2" --screenshot="$PWD/$1" 2>"$work/chromium.log" ||
    { cat "$work/chromium.log" >&2; exit 1; }
  echo "${command[*]}"
  cat "$work/summary.txt"
  echo "$1"
}
