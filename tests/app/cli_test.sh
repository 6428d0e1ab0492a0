#!/usr/bin/env bash
# Drives the console program as an administrator would: set, get, list, log.
# Usage: cli_test.sh EMULATOR CLI   (EMULATOR is "env" for a native build)
set -u
emulator=$1 cli=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
cd "$work"
passed=0 failed=0

run() { "$emulator" "$cli" "$@" 2>"$work/err" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
check() {  # name, expected, actual
  if [ "$2" == "$3" ]; then passed=$((passed + 1)); else
    failed=$((failed + 1)); printf 'FAIL %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"; fi
}

run set 'Connection\period' 5000 >/dev/null; check "set exits 0" 0 $?
check "get after set" 5000 "$(run get 'Connection\period')"
check "names ignore case" 5000 "$(run get 'connection\PERIOD')"

run set 'Connection\period' 5x >/dev/null; check "bad number exits 2" 2 $?
check "bad number names the setting" 1 "$(grep -c 'Connection\\period' "$work/err")"
check "bad number writes nothing" 5000 "$(run get 'Connection\period')"
run set 'Connection\nosuch' 1 >/dev/null; check "unknown name exits 2" 2 $?
run set 'Notifications\EMailPort' 70000 >/dev/null; check "port out of range exits 2" 2 $?
run set 'Parameters\notificationValue0' 9x >/dev/null; check "notification value must be digits" 2 $?

run set 'Connection\password' 'se cret' >/dev/null
run set 'Notifications\EMailAuth' true >/dev/null
listing=$(run settings)
check "password masked" 'Connection\password = ****' "$(grep '^Connection\\password' <<<"$listing")"
check "bool stored as 1" 'Notifications\EMailAuth = 1' "$(grep 'EMailAuth' <<<"$listing")"
check "every setting listed" 70 "$(wc -l <<<"$listing" | tr -d ' ')"
check "password kept" 'se cret' "$(run get 'Connection\password')"

run set 'Connection\server' 'Ünïcødé-ᚠ' >/dev/null
check "non-ASCII text round trip" 'Ünïcødé-ᚠ' "$(run get 'Connection\server')"
run set 'Connection\server' '' >/dev/null
check "a cleared text stays cleared" '' "$(run get 'Connection\server')"

run set 'Log\Filename' "app.log" >/dev/null
run log >/dev/null; check "log without a file exits 0" 0 $?
printf 'I\0n\0f\0o\0\t\0001\0\t\0f\0i\0r\0s\0t\0\r\0\n\0W\0a\0r\0n\0i\0n\0g\0\t\0002\0\t\0s\0e\0c\0o\0n\0d\0\r\0\n\0' >app.log
check "log newest first" "$(printf 'Warning  2  second\nInfo     1  first')" "$(run log)"

printf 'Passed: %d passed, %d failed\n' "$passed" "$failed"
[ "$failed" -eq 0 ]
