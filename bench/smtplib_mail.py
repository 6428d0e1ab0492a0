#!/usr/bin/python3
"""Python's smtplib sending bench_mail's STARTTLS mail, for comparison: smtplib_mail.py COUNT.

Reads the peers file that run_with_peers.py names in VARNALIS_PEERS; one TLS context for all messages, a fresh
connection for each. Prints the milliseconds per message, or nothing when a mail fails."""
import os, smtplib, ssl, sys, time

MESSAGE = ("From: \"Varnalis 1.4\" <monitor@example.com>\r\nTo: admin@example.com\r\n"
           "Subject: CPU Usage on Localhost Error.\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
           "09:12:55 PM  06 Dec 2026\r\n97 % current value.\r\n95 % error value.\r\n")


def send_one(port, user, password, context):
    with smtplib.SMTP("localhost", port) as client:
        client.starttls(context=context)
        client.login(user, password)
        client.sendmail("monitor@example.com", ["admin@example.com"], MESSAGE)


def main():
    count = int(sys.argv[1])
    with open(os.environ["VARNALIS_PEERS"]) as f:
        peers = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
    context = ssl.create_default_context()
    args = (int(peers["starttls"]), peers["user"], peers["password"], context)
    send_one(*args)  # warm-up, as bench_mail does
    start = time.perf_counter()
    for _ in range(count):
        send_one(*args)
    print("%.3f" % ((time.perf_counter() - start) * 1000 / count))


if __name__ == "__main__":
    main()
