#pragma once
// The test mail the Notifications page and varnalis-cli test-mail send.
#include <cstdint>
#include <string>

struct Settings;

// One mail built like a processor error notification, sent with the e-mail
// settings as they stand; the mail library's result code. Needs Winsock.
uint32_t SendTestMail(const Settings& settings);

// The outcome of SendTestMail in words: "Test mail sent." or "Test mail
// failed.", the result code and what it means.
std::wstring TestMailResultText(uint32_t code);
