#!/usr/bin/env bash
# The console monitor's metrics endpoint, scraped live while the monitor
# answers from a recording: the page passes promtool, tells what the
# recording measured and no secret, and a stop signal ends it with the monitor.
# Usage: metrics_test.sh CLI RECORDING
set -u
cli=$1 recording=$2
# shellcheck source=tests/app/check.sh
source "$(dirname "$0")/check.sh"

# Prints the status, the content type and the body; "refused" when nobody listens.
http() {  # method, url
  /usr/bin/python3 - "$@" <<'PY'
import sys, urllib.request, urllib.error
try:
    with urllib.request.urlopen(urllib.request.Request(sys.argv[2], method=sys.argv[1]), timeout=5) as answer:
        print(answer.status, answer.headers["Content-Type"])
        sys.stdout.write(answer.read().decode())
except urllib.error.HTTPError as error:
    print(error.code, error.headers["Allow"] or "")
except OSError:
    print("refused")
PY
}

for setting in 'Connection\period 200' 'Connection\user watcher-account' 'Connection\password conn-S3cret' \
    'Notifications\EMailUser mail-account' 'Notifications\EMailPassword mail-S3cret' \
    'Parameters\diskName C:' 'Parameters\processName w3wp.exe' 'Parameters\networkAdapterName Intel[R] Ethernet Connection'; do
  "$cli" set "${setting%% *}" "${setting#* }" >/dev/null
done
for id in 3 4 6; do "$cli" set "Parameters\\enable$id" 1 >/dev/null; done

"$cli" --metrics 127.0.0.1:0 --replay "$recording" >out.txt 2>err.txt &
pid=$!
for _ in $(seq 100); do grep -q '^Metrics at ' out.txt && break; sleep 0.1; done
url=$(sed -n 's/^Metrics at \(http:[^ ]*\)$/\1/p' out.txt)
check "the address is printed" 1 "$(grep -c '^http://127\.0\.0\.1:[0-9]*/metrics$' <<<"$url")"
# From the recording's fifth pass on, every pass is its last one, the process running.
for _ in $(seq 100); do
  http GET "$url" | grep -Eq '^varnalis_passes_total\{computer="localhost"\} ([5-9]|[1-9][0-9]+)$' && break; sleep 0.1
done
page=$(http GET "$url")
check "200 and the exposition format's type" "200 text/plain; version=0.0.4; charset=utf-8" "$(head -1 <<<"$page")"
tail -n +2 <<<"$page" >page.txt
promtool check metrics <page.txt >promtool.txt 2>&1; check "promtool finds nothing to fault" 0 $?
check "promtool says nothing" "" "$(cat promtool.txt)"
check "the disk is a label" 1 "$(grep -c '^varnalis_disk_usage_percent{computer="localhost",disk="C:"} [0-9]*$' page.txt)"
check "the process runs" 1 "$(grep -c '^varnalis_process_running{computer="localhost",process="w3wp.exe"} 1$' page.txt)"
check "a parameter switched off has no value" 1 "$(grep -c '^varnalis_threads{computer="localhost"} NaN$' page.txt)"
check "no user or password" 0 "$(grep -c 'S3cret\|account' page.txt)"
check "another path: 404" "404 " "$(http GET "${url%/metrics}/")"
check "another method: 405, GET and HEAD allowed" "405 GET, HEAD" "$(http POST "$url")"

start=$(date +%s%N)
kill -TERM "$pid"
wait "$pid"; check "SIGTERM ends the monitor cleanly" 0 $?
check "and at once" 1 "$(( ($(date +%s%N) - start) / 1000000 < 2000 ))"
check "the endpoint is gone" refused "$(http GET "$url")"
check "nothing on the error output" "" "$(cat err.txt)"

# A port alone listens on 127.0.0.1; any other address only when given.
"$cli" --metrics 0 --replay "$recording" --passes 1 >out.txt 2>&1
check "a port alone: 127.0.0.1" 1 "$(grep -c '^Metrics at http://127\.0\.0\.1:[0-9]*/metrics$' out.txt)"
"$cli" --metrics 0.0.0.0:0 --replay "$recording" --passes 1 >out.txt 2>&1
check "an address given: that one" 1 "$(grep -c '^Metrics at http://0\.0\.0\.0:[0-9]*/metrics$' out.txt)"

for bad in ':65536' 'x:1' '[::1]:9464' 'no.such.host.invalid:9464'; do
  "$cli" --metrics "$bad" --replay "$recording" >/dev/null 2>err.txt; check "refused: $bad" 3 $?
  check "and says why: $bad" 1 "$(grep -c '^The metrics endpoint cannot be served at ' err.txt)"
done
"$cli" --metrics 9464 once >/dev/null 2>&1; check "only the monitor serves metrics" 2 $?

# The README's scrape configuration and alerting rules are valid.
/usr/bin/python3 - "$(dirname "$recording")/../README.md" <<'PY'
import re, sys
blocks = re.findall(r"```yaml\n(.*?)```", open(sys.argv[1]).read(), re.S)
open("prometheus.yml", "w").write(blocks[0] + "rule_files: [rules.yml]\n")
open("rules.yml", "w").write(blocks[1])
PY
promtool check config prometheus.yml >/dev/null 2>&1; check "the README's Prometheus configuration and rules" 0 $?

finish
