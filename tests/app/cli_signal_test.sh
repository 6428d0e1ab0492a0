#!/usr/bin/env bash
# Signals to the console monitor, natively (and under TSan, where the main
# thread and the monitor thread meet): SIGHUP reloads the settings, a stop
# signal ends it cleanly even when another follows during the shutdown.
# Usage: cli_signal_test.sh CLI
set -u
cli=$1
# shellcheck source=tests/app/check.sh
source "$(dirname "$0")/check.sh"

# Waits up to 10 s for the log file to hold the text; the texts are ASCII.
await() {
  for _ in $(seq 100); do [ -f "$1" ] && tr -d '\000' <"$1" | grep -qF "$2" && return 0; sleep 0.1; done
  return 1
}

# The processor load stays in error from the third pass on: the monitor thread
# turns the tray icon to the alert icon the main thread set at start.
cat >load.replay <<'REPLAY'
pass
Win32_Processor.LoadPercentage = 96
pass
Win32_Processor.LoadPercentage = 97
pass
Win32_Processor.LoadPercentage = 98
REPLAY
"$cli" set 'Connection\period' 0 >/dev/null
"$cli" set 'Log\Filename' first.log >/dev/null

"$cli" --replay load.replay >out.txt 2>err.txt &
pid=$!
await first.log 'CPU Usage on Localhost Error.'; check "the monitor reaches the error" 0 $?
"$cli" set 'Log\Filename' second.log >/dev/null
kill -HUP "$pid"
await second.log 'Settings reloaded.'; check "SIGHUP reloads the settings and logs it" 0 $?
kill -0 "$pid" 2>/dev/null; check "the monitor runs on after SIGHUP" 0 $?
check "the reload is shown" 1 "$(grep -c 'Settings reloaded\.' out.txt)"

kill -TERM "$pid"
wait "$pid"; check "SIGTERM ends the monitor cleanly" 0 $?
check "nothing on the error output" "" "$(cat err.txt)"

# A second stop signal while the first is being handled.
"$cli" set 'Log\Filename' third.log >/dev/null
"$cli" --replay load.replay >/dev/null 2>err.txt &
pid=$!
await third.log 'CPU Usage on Localhost Error.'
kill -TERM "$pid"
kill -INT "$pid"
wait "$pid"; check "a stop signal during the shutdown does not end it early" 0 $?
check "the close entry is written" 1 "$(tr -d '\000' <third.log | grep -c 'Varnalis 1.4 application close.')"
check "nothing on the error output of the second run" "" "$(cat err.txt)"

# A mail server that trickles its greeting, a byte a second: SIGTERM during the
# mail ends the program within seconds and the mail is logged as failed.
/usr/bin/python3 - "$work/trickle" <<'PY' &
import socket, sys, time
listener = socket.create_server(("127.0.0.1", 0))
listener.settimeout(30)
open(sys.argv[1] + ".port", "w").write(str(listener.getsockname()[1]))
peer, _ = listener.accept()
open(sys.argv[1] + ".accepted", "w").close()
try:
    for byte in b"220 slow.example ESMTP, one byte a second, for a minute at most.."[:60]:
        peer.send(bytes([byte]))
        time.sleep(1)
except OSError:
    pass
PY
trickler=$!
for _ in $(seq 50); do [ -s "$work/trickle.port" ] && break; sleep 0.1; done
"$cli" set 'Log\Filename' mail.log >/dev/null
for setting in "EMailEnabled 1" "EMailServer 127.0.0.1" "EMailPort $(cat "$work/trickle.port")" "EMailSSL 0" \
    "EMailAuth 0" "EMailThreshold 2" "EMailUserAddress varnalis@example.org" "EMailRecipiend admin@example.org"; do
  "$cli" set "Notifications\\${setting%% *}" "${setting#* }" >/dev/null
done
"$cli" --replay load.replay >/dev/null 2>&1 &
pid=$!
for _ in $(seq 100); do [ -e "$work/trickle.accepted" ] && break; sleep 0.1; done
start=$(date +%s%N)
kill -TERM "$pid"
wait "$pid"; check "SIGTERM during a trickling mail ends the monitor cleanly" 0 $?
check "and within a few seconds" 1 "$(( ($(date +%s%N) - start) / 1000000 < 5000 ))"
check "the cancelled mail is logged as failed" 1 \
  "$(tr -d '\000' <mail.log | grep -c 'CPU Usage on Localhost Error\..*E-mail notification failed\.')"
wait "$trickler"

finish
