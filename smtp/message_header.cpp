#include "smtp/message_header.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>

#include "smtp/encoding.h"
#include "smtp/mail_date.h"

namespace Smtp {
namespace {

bool IsHostNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Differs between processes that start in the same clock tick.
uint64_t ProcessRandom() {
  static const uint64_t value = [] {
    std::random_device device;
    uint64_t v = (uint64_t{device()} << 32) ^ device();
    return v ^ static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }();
  return value;
}

}  // namespace

std::string MakeMessageId(const std::string& localHostName) {
  static std::atomic<uint32_t> counter{0};
  // A dot-atom: no empty labels, nothing a mail reader would have to quote.
  bool usable = !localHostName.empty() && localHostName.front() != '.' && localHostName.back() != '.' &&
                localHostName.find("..") == std::string::npos &&
                std::all_of(localHostName.begin(), localHostName.end(), IsHostNameChar);
  auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count();
  char unique[64];
  std::snprintf(unique, sizeof unique, "%llx.%x.%016llx", static_cast<unsigned long long>(micros),
                static_cast<unsigned>(counter.fetch_add(1) + 1), static_cast<unsigned long long>(ProcessRandom()));
  return std::string("<") + unique + "@" + (usable ? localHostName : "localhost") + ">";
}

std::string MessageHeader(IMessageInfo& info, const std::vector<unsigned>& acceptedRecipients,
                          unsigned short codePage, const std::string& localHostName) {
  IAddress& sender = info.GetSender();
  std::string to;
  uint32_t count = info.GetRecipientCount();
  for (unsigned index : acceptedRecipients) {
    if (index >= count) continue;
    IAddress& recipient = info.GetRecipient(index);
    if (!to.empty()) to += ",\r\n\t ";
    to += FormatAddress(recipient.GetName(), recipient.GetAddress(), codePage);
  }
  std::string header = "Date: " + MailDateNow() + "\r\n";
  header += "From: " + FormatAddress(sender.GetName(), sender.GetAddress(), codePage) + "\r\n";
  header += "To: " + to + "\r\n";
  header += "Subject: " + EncodeHeaderText(info.GetSubject(), codePage) + "\r\n";
  header += "Message-ID: " + MakeMessageId(localHostName) + "\r\n";
  header += "MIME-Version: 1.0\r\n";
  return header;
}

}  // namespace Smtp
