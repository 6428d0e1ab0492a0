#!/usr/bin/env bash
# Drives the console program as an administrator would: set, get, list, log,
# and the monitor answering from a recording. Usage: cli_test.sh EMULATOR CLI LEAVE_MARK
set -u
emulator=$1 cli=$2 mark=$3
# shellcheck source=tests/app/check.sh
source "$(dirname "$0")/check.sh"

# No one command may hang the test: each ends within the bound, and says so.
bound=${VARNALIS_TEST_BOUND:-300}
run() {
  timeout -k 10 "$bound" "$emulator" "$cli" "$@" 2>"$work/err" | tr -d '\r'
  local code=${PIPESTATUS[0]}
  [ "$code" = 124 ] && echo "TIMEOUT: varnalis-cli $* ran past $bound s" >&2
  return "$code"
}
sets() { local s; for s in "$@"; do run set "${s%% *}" "${s#* }" >/dev/null; done; }  # each "NAME VALUE"

check "--version names the build" "varnalis-cli $VARNALIS_VERSION" "$(run --version)"
run set 'Connection\period' 5000 >/dev/null; check "set exits 0" 0 $?
check "get after set" 5000 "$(run get 'Connection\period')"
check "names ignore case" 5000 "$(run get 'connection\PERIOD')"

for bad in 'Notifications\QuietFrom=1440' 'Notifications\QuietTo=-1' 'Connection\nosuch=1' \
  'Parameters\notificationValue0=500' 'Connection\period=2147483648' 'Connection\period=5x'; do
  run set "${bad%%=*}" "${bad#*=}" >/dev/null; check "refused with exit 2: $bad" 2 $?
done
check "a refusal names the setting" 1 "$(grep -c 'Connection\\period' "$work/err")"
head -c 40000 /dev/zero | tr '\0' x | run set 'Connection\server' - >/dev/null
check "a text too long to store is refused with exit 2" 2 $?
check "a refusal writes nothing" 5000 "$(run get 'Connection\period')"

printf 'se cret\n' | run set 'Connection\password' - >/dev/null; check "set from standard input exits 0" 0 $?
run set 'Notifications\EMailAuth' true >/dev/null
listing=$(run settings)
check "password masked" 'Connection\password = ****' "$(grep '^Connection\\password' <<<"$listing")"
check "bool stored as 1" 'Notifications\EMailAuth = 1' "$(grep 'EMailAuth' <<<"$listing")"
check "every setting listed" 79 "$(wc -l <<<"$listing" | tr -d ' ')"
check "get masks a password" '****' "$(run get 'Connection\password')"
check "password kept, shown with --reveal" 'se cret' "$(run get 'Connection\password' --reveal)"
printf 'http://hooks.example/hook/T0KEN\n' | run set 'Notifications\WebhookURL' - >/dev/null
check "a web hook URL is masked as a secret" '****' "$(run get 'Notifications\WebhookURL')"
run test-webhook >"$work/out"
check "a test message to a plain http:// address elsewhere is refused with exit 3" 3 $?
check "it says why, without the URL's token" "1 0" \
  "$(grep -c '^Test message failed: ' "$work/err") $(cat "$work/out" "$work/err" | grep -c T0KEN)"

before=$(date +%s)
check "a pause says until when" 1 "$(run pause 4h | grep -c '^Notifications paused until [0-2][0-9]:[0-5][0-9]\.$')"
until=$(run get 'Notifications\PausedUntil')
check "a pause of 4 hours is stored as its end" 1 "$(( until >= before + 14400 && until <= $(date +%s) + 14400 ))"
for bad in abc -5m 0s 4 4x 99999999h; do
  run pause "$bad" >/dev/null; check "pause $bad is refused with exit 2" 2 $?
done
check "a refused pause writes nothing" "$until" "$(run get 'Notifications\PausedUntil')"
run pause forever >/dev/null; check "pause forever" -1 "$(run get 'Notifications\PausedUntil')"
check "pause off resumes" "Notifications resumed." "$(run pause off)"
check "pause off clears it" 0 "$(run get 'Notifications\PausedUntil')"

run set 'Connection\server' 'Ünïcødé-ᚠ' >/dev/null
check "non-ASCII text round trip" 'Ünïcødé-ᚠ' "$(run get 'Connection\server')"

run set 'Log\Filename' "app.log" >/dev/null
run log >/dev/null; check "log without a file fails" 3 $?

# The monitor, answering from a recording: processor load 96, 97, 98, 50.
cat >load.replay <<'REPLAY'
pass
Win32_Processor.LoadPercentage = 96
Win32_Processor.Name = "Test CPU" "Test CPU"
Win32_OperatingSystem.FreePhysicalMemory = "2097152"
Win32_OperatingSystem.Caption = "Recorded Windows"
Win32_OperatingSystem.Organization = ""
Win32_OperatingSystem.RegisteredUser = "admin"
Win32_OperatingSystem.SerialNumber = "0000-1"
Win32_ComputerSystem.TotalPhysicalMemory = "8589934592"
Win32_PerfRawData_W3SVC_WebService.Name = "_Total" "Default Web Site"
pass
Win32_Processor.LoadPercentage = 97
pass
Win32_Processor.LoadPercentage = 98
pass
Win32_Processor.LoadPercentage = 50
REPLAY
sets 'Connection\period 0' 'Notifications\UINotifyAgain 1'
out=$(run --replay load.replay --passes 4); check "monitor exits 0" 0 $?
check "pass states" "Warning (1)|Warning (2)|Error|OK" \
  "$(grep -o 'CPU Usage: [0-9]* % [A-Za-z]*\( ([0-9])\)\?' <<<"$out" | sed 's/CPU Usage: [0-9]* % //' | paste -sd'|')"
check "balloon shown" 1 "$(grep -c 'Balloon (error): CPU Usage on Localhost Error.' <<<"$out")"
entries=$(run log | sed 's/  .*M  [0-9][0-9] [A-Z][a-z][a-z] [0-9]*  /|/' | tac)
expected='Info|Varnalis 1.4 application open.
Info|Monitoring started.
Warning|CPU Usage on Localhost Warning.
Error|CPU Usage on Localhost Error.
Info|CPU Usage on Localhost is OK.
Info|State change from ERROR to OK.
Info|Varnalis 1.4 application close.'
check "log entries of the scenario" "$expected" "$(sed 's/\(Warning\.\|Error\.\|is OK\.\) .*/\1/' <<<"$entries")"

# Two programs setting different values at once lose nothing: each counts in
# a setting of its own, so a lost update leaves a count short.
rounds=${VARNALIS_SET_ROUNDS:-$([ "$emulator" = env ] && echo 100 || echo 5)}
count() {
  local value
  for _ in $(seq "$rounds"); do
    value=$(run get "$1") && run set "$1" $((value + 1)) >/dev/null || return 1
  done
}
sets 'Interface\dlgX 0' 'Interface\dlgY 0'
count 'Interface\dlgX' & first=$!
count 'Interface\dlgY' & second=$!
wait $first; check "the first counter's sets all succeed" 0 $?
wait $second; check "the second counter's sets all succeed" 0 $?
check "concurrent sets lose nothing" "$rounds $rounds" "$(run get 'Interface\dlgX') $(run get 'Interface\dlgY')"

# A value set while the monitor runs survives the monitor's exit.
run set 'Connection\period' 1500 >/dev/null
"$emulator" "$cli" --replay load.replay --passes 3 >monitor.out 2>&1 &
pid=$!
for _ in $(seq 300); do grep -q 'CPU Usage' monitor.out && break; sleep 0.1; done
run set 'Parameters\diskName' 'set while monitoring' >/dev/null
wait "$pid"; check "the monitor exits 0" 0 $?
check "a set made while the monitor runs survives its exit" 'set while monitoring' "$(run get 'Parameters\diskName')"
run set 'Connection\period' 0 >/dev/null

if [ "$emulator" = env ]; then  # the Linux settings file; Wine's registry is the prefix's
  file="$XDG_CONFIG_HOME/Pellard Software/Varnalis 1.4/settings.reg"
  sed -i '/^"dlgY"=/d' "$file"  # a missing value is no reason to write either
  chmod 0400 "$file" && chmod 0500 "$(dirname "$file")"
  before=$(stat -c '%y %i' "$file")
  for command in settings 'get Connection\period' log 'once' 'instances web' 'test-connection'; do
    # shellcheck disable=SC2086  # the command's words
    run --replay load.replay $command >/dev/null; check "read-only: $command exits 0" 0 $?
  done
  check "read-only commands leave the settings file alone" "$before" "$(stat -c '%y %i' "$file")"
  chmod 0700 "$(dirname "$file")" && chmod 0600 "$file"

  # The Linux provider reaches no other computer: every alert says why.
  sets 'Connection\local 0' 'Connection\server far-away.invalid' 'Notifications\UIThreshold 1'
  out=$(run --passes 1)
  check "an unreachable computer's alert says why" 1 \
    "$(grep -c '^.*Balloon (error): CPU Usage on far-away.invalid Error. .* N/A: the computer could not be reached (0x80041015)$' <<<"$out")"
  sets 'Connection\local 1' 'Notifications\UIThreshold 3'
fi

check "one pass table" "CPU Usage|96 %|95 %|Warning (1)" \
  "$(run --replay load.replay once | grep '^CPU Usage' | sed 's/  \+/|/g')"
check "system report" "Operating system name: Recorded Windows
Organization: 
Registered user: admin
Serial number: 0000-1
Processor: Test CPU
Processor: Test CPU
Memory size: 8192 MB" "$(run --replay load.replay test-connection)"
check "web instances leave out the total" "Default Web Site" "$(run --replay load.replay instances web)"
printf 'pass\nWin32_Process.Name = "a\tb" "\033[1mbold" "C:\\\\x41"\n' >names.replay
check "instance names escaped, one a line" 'a\tb|\x1B[1mbold|C:\\x41' \
  "$(run --replay names.replay instances process | paste -sd'|')"
run --replay load.replay instances disk >/dev/null; check "missing class fails" 3 $?
check "missing class says why" 1 "$(grep -c '^Connection failed. Error 80041010: ' "$work/err")"
run --replay nosuch.replay once >/dev/null; check "missing recording fails" 3 $?
run --passes 0 once >/dev/null; check "bad option exits 2" 2 $?

# A test mail to a port nobody listens on: a failure, and the code in words.
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
sets 'Notifications\EMailServer 127.0.0.1' "Notifications\EMailPort $port"
out=$(run test-mail); check "test mail to a closed port fails" 3 $?
check "test mail prints its result" 1 "$(grep -cE '^Test mail failed\. Result 0x[0-9A-F]{8}: .+' <<<"$out")"

# An error episode from a recording reaches a TLS mail server once and starts
# the chosen program once. The runner's peers: see tests/peers/run_with_peers.py.
unix_path() { local p=${1#Z:}; printf '%s' "${p//\\//}"; }
peers=$(unix_path "${VARNALIS_PEERS:?run this test through tests/peers/run_with_peers.py}")
peer() { grep "^$1=" "$peers" | head -n 1 | cut -d= -f2-; }
mailbox=$(unix_path "$(peer mailbox)")
for setting in "EMailEnabled 1" "EMailServer localhost" "EMailPort $(peer starttls)" "EMailSSL 1" "EMailAuth 1" \
    "EMailUser $(peer user)" "EMailUserAddress monitor@example.com" "EMailRecipiend admin@example.com" \
    "EMailThreshold 2" "UINotifyAgain 0" "CustomEnabled 1" "CustomThreshold 2"; do
  sets "Notifications\\$setting"
done
peer password | run set 'Notifications\EMailPassword' - >/dev/null
# The program as the platform names it.
native_path() { if [ "$emulator" = env ]; then printf '%s' "$1"; else local p="Z:$1"; printf '%s' "${p//\//\\}"; fi; }
sets "Notifications\CustomFile $(native_path "$mark")" "Notifications\CustomArg $(native_path "$work/ran.txt") cpu error"
run --replay load.replay --passes 4 >/dev/null; check "episode monitor exits 0" 0 $?
mails=$(ls "$mailbox"/starttls-*.txt 2>/dev/null)
check "one mail for the episode" 1 "$(grep -c . <<<"$mails")"
check "the mail's subject" "subject=CPU Usage on Localhost Error." "$(grep -h '^subject=' $mails)"
# Every start was made before the monitor ended, and the log counts them; the
# mark shows that the one start ran. A first start on a new Wine prefix is slow.
check "one start for the episode" 1 "$(run log | grep -c 'Send custom notification\.')"
for _ in $(seq 600); do [ -s ran.txt ] && break; sleep 0.1; done
check "the program ran" "cpu error" "$(tr -d '\r' <ran.txt 2>/dev/null)"
run set 'Notifications\EMailEnabled' 0 >/dev/null

# With a logon asked for, a failed logon starts nothing (Linux has no logon,
# Wine knows no such account): an error entry after the first one says why. A
# file that cannot be found gets the same kind of entry.
sets 'Notifications\CustomAuth 1' 'Notifications\CustomUser NOSUCHDOMAIN\nobody'
rm -f ran.txt
run --replay load.replay --passes 4 >/dev/null; check "monitor with a failed logon exits 0" 0 $?
check "no program runs after a failed logon" no "$([ -e ran.txt ] && echo yes || echo no)"
failures() { run log | tac | grep -o 'Error  .*CPU Usage on Localhost Error\.\( Custom notification failed: [A-Z]\| .* Send custom\)' |
  sed 's/^Error  .*Error\./Error./; s/ [0-9].* Send custom$/ Send custom/; s/failed: [A-Z]$/failed: (why)/'; }
check "the logon failure is logged" "Error. Send custom
Error. Custom notification failed: (why)" "$(failures)"
sets 'Notifications\CustomAuth 0' 'Notifications\CustomFile no-such-program-here'
run --replay load.replay --passes 4 >/dev/null
check "a missing file is logged" "Error. Send custom
Error. Custom notification failed: (why)" "$(failures)"
run set 'Notifications\CustomEnabled' 0 >/dev/null

# The log never touches what is not a log file: not at start-up (ClearLog is
# on), not when writing, not when reading; reading never waits. Every node is
# made in the work folder.
mkdir logdir
specials=(logdir)
if [ "$emulator" = env ]; then
  mkfifo fifo && specials+=(fifo)
  /usr/bin/python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' sock && specials+=(sock)
  mknod nulldev c 1 3 2>/dev/null && specials+=(nulldev)  # root only
else
  specials+=(NUL)
fi
for name in "${specials[@]}"; do
  before=$(stat -c '%F %i' "$name" 2>/dev/null)
  run set 'Log\Filename' "$name" >/dev/null
  run --replay load.replay --passes 1 >/dev/null; check "monitor with the log on $name exits 0" 0 $?
  timeout 20 "$emulator" "$cli" log >/dev/null 2>&1; check "log on $name fails at once" 3 $?
  check "$name is left as it was" "$before" "$(stat -c '%F %i' "$name" 2>/dev/null)"
done
run set 'Log\Filename' app.log >/dev/null

finish
