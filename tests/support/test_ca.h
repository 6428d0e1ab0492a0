#pragma once
// Makes the test CA in SSL_CERT_FILE trusted by the platform's HTTP client.
// Windows checks certificates against its Root store only, so the CA goes
// there (Wine's prefix; idempotent); libcurl reads SSL_CERT_FILE itself.
// Call before posting to an HTTPS peer; fails the test when it cannot.
void TrustTestCa();
