# shellcheck shell=bash
# Sourced by the console program's test scripts: a work folder with settings of its own, and the checks.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
cd "$work" || exit 1
passed=0 failed=0
check() {  # name, expected, actual
  if [ "$2" == "$3" ]; then passed=$((passed + 1)); else
    failed=$((failed + 1)); printf 'FAIL %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"; fi
}
finish() { printf 'Passed: %d passed, %d failed\n' "$passed" "$failed"; [ "$failed" -eq 0 ]; }
