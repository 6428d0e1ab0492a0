#include <cstdio>
#include <string>

#include "common/platform_services.h"
#include "smtp/interfaces.h"
#include "smtp/socket.h"
#include "smtp/tls.h"

namespace Smtp {
namespace {

struct Words {
  uint32_t code;
  const wchar_t* text;
};

constexpr Words kSmtpWords[] = {
    {421, L"the mail service is not available and closes the connection"},
    {450, L"the mailbox is not available at the moment"},
    {451, L"the server failed while processing the command"},
    {452, L"the server has not enough storage"},
    {454, L"the server cannot authenticate or secure the connection at the moment"},
    {500, L"the server did not recognise the command"},
    {501, L"the server refused the command's argument"},
    {502, L"the server does not implement the command"},
    {503, L"the server expected the commands in another order"},
    {504, L"the server does not support the command's parameter"},
    {521, L"the server does not accept mail"},
    {530, L"the server requires authentication"},
    {534, L"the server requires a stronger authentication method"},
    {535, L"the server refused the user name or password"},
    {538, L"the server requires a secure connection for this authentication"},
    {550, L"the server refused the mailbox"},
    {551, L"the server does not accept mail for this recipient"},
    {552, L"the message exceeds the server's storage limit"},
    {553, L"the server refused the mailbox name"},
    {554, L"the server refused the transaction"},
    {555, L"the server did not recognise the MAIL or RCPT parameters"},
};

constexpr Words kTlsWords[] = {
    {kTlsHandshakeFailed, L"the secure connection could not be negotiated"},
    {kTlsUntrustedRoot, L"the server's certificate is not from a trusted authority"},
    {kTlsExpired, L"the server's certificate has expired or is not yet valid"},
    {kTlsWrongHost, L"the server's certificate is for another host name"},
    {kTlsBadChain, L"the server's certificate chain is broken"},
};

// Both platforms report socket failures with these numbers.
constexpr Words kSocketWords[] = {
    {kWouldBlock, L"the socket operation would block"},
    {10004, L"the socket call was interrupted"},
    {10013, L"access to the socket was denied"},
    {10024, L"too many sockets are open"},
    {10048, L"the local address is already in use"},
    {10049, L"the address is not valid"},
    {10050, L"the network is down"},
    {10051, L"the network cannot be reached"},
    {10052, L"the network dropped the connection"},
    {10053, L"the connection was aborted on this computer"},
    {10054, L"the server reset the connection"},
    {10055, L"no buffer space is available for the socket"},
    {10057, L"the socket is not connected"},
    {10058, L"the connection has been shut down"},
    {10060, L"the connection attempt timed out"},
    {10061, L"the server refused the connection"},
    {10064, L"the server's computer is down"},
    {10065, L"there is no route to the server"},
    {10093, L"Windows Sockets is not started"},
    {11001, L"the server's name is not known"},
    {11002, L"the server's name could not be looked up at the moment"},
    {11003, L"the name server could not answer"},
    {11004, L"the server's name has no IPv4 address"},
};

template <size_t N>
const wchar_t* Find(const Words (&table)[N], uint32_t code) {
  for (const Words& words : table) {
    if (words.code == code) return words.text;
  }
  return nullptr;
}

std::wstring Numbered(const wchar_t* format, uint32_t code, const std::wstring& words) {
  wchar_t number[16];
  std::swprintf(number, 16, format, code);
  return std::wstring(number) + L": " + words;
}

}  // namespace

std::wstring ResultText(uint32_t code) {
  switch (code) {
    case 0:
      return L"success";
    case 1:
      return L"the mail library failed: a malformed or missing server reply, no usable authentication method, an "
             L"argument it refused, or a cancelled wait";
    case kWaitTimeout:
      return L"the server did not answer in time";
    case kWaitFailed:
      return L"waiting for the server failed";
    default:
      break;
  }
  if (code >= 100 && code <= 999) {
    if (const wchar_t* words = Find(kSmtpWords, code)) return Numbered(L"%u", code, words);
    const wchar_t* kind = code >= 500 ? L"the server refused the command"
                          : code >= 400 ? L"the server cannot carry out the command at the moment"
                                        : L"the server gave an unexpected reply";
    return Numbered(L"%u", code, kind);
  }
  if (const wchar_t* words = Find(kTlsWords, code)) return Numbered(L"0x%08X", code, words);
  if (const wchar_t* words = Find(kSocketWords, code)) return Numbered(L"%u", code, words);
  std::wstring system = SystemErrorText(code);
  if (!system.empty()) return Numbered(code >= 0x80000000 ? L"0x%08X" : L"%u", code, system);
  return Numbered(code >= 0x80000000 ? L"0x%08X" : L"%u", code, L"unknown error");
}

}  // namespace Smtp
