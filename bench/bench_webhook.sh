#!/usr/bin/env bash
# A web hook test message against curl posting the same body to the same
# local HTTPS endpoint: each a fresh process, connection and TLS handshake,
# as an administrator's test or a notification costs; both trust the system's
# certificates and the test CA. Run beside the peers, on an idle machine:
#   /usr/bin/python3 tests/peers/run_with_peers.py bench/bench_webhook.sh build/native-release/varnalis-cli
set -euo pipefail
cli=$1 runs=${2:-40}
port=$(sed -n 's/^hook=//p' "$VARNALIS_PEERS")
mailbox=$(sed -n 's/^mailbox=//p' "$VARNALIS_PEERS")
url="https://localhost:$port/bench"
export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
printf '%s\n' "$url" | "$cli" set 'Notifications\WebhookURL' - >/dev/null
"$cli" test-webhook >/dev/null  # warm-up; its recorded body is what curl posts
body=$(mktemp) trusted=$(mktemp)
trap 'rm -rf "$XDG_CONFIG_HOME" "$body" "$trusted"' EXIT
# curl trusts what the test message trusts: the system's bundle and the test CA.
cat /etc/ssl/certs/ca-certificates.crt "$SSL_CERT_FILE" >"$trusted"
recorded=$(ls "$mailbox"/hook-*.txt | head -1)
sed '1,/^$/d' "$recorded" >"$body"

per_post() {  # milliseconds per run of the command
  local start end
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do "$@" >/dev/null; done
  end=$(date +%s%N)
  echo $(((end - start) / runs / 1000))
}
ours=$(per_post "$cli" test-webhook)
theirs=$(per_post curl -sS --fail -o /dev/null --cacert "$trusted" -H 'Content-Type: application/json' \
  --data-binary "@$body" "$url")
awk -v o="$ours" -v t="$theirs" -v n="$runs" 'BEGIN {
  printf "varnalis-cli test-webhook  %8.2f ms per message (%d runs)\n", o / 1000, n
  printf "curl, same POST            %8.2f ms per message (%d runs)\n", t / 1000, n
  printf "test message / curl: %.2f (target at most 1.50)\n", o / t }'
