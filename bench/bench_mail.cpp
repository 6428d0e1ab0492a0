// Milliseconds per notification mail to the local test servers, each on a
// fresh connection as the notifications send them, without and with STARTTLS,
// and Python's smtplib sending the STARTTLS mail to the same server (Linux).
// Run beside the servers:
//   /usr/bin/python3 tests/peers/run_with_peers.py build/native-release/bench/bench_mail
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "common/platform_services.h"
#include "smtp/interfaces.h"

namespace {

struct Params final : Smtp::IConnectionParams {
  const char* GetServer() override { return "localhost"; }
  unsigned short GetPort() override { return port; }
  bool NeedAuthentication() override { return tls; }
  const char* GetUserName() override { return user.c_str(); }
  const char* GetPassword() override { return password.c_str(); }
  bool UseStartTls() override { return tls; }
  uint32_t GetTimeout() override { return 5000; }
  uint32_t GetDeadline() override { return 60000; }
  unsigned short port = 0;
  bool tls = false;
  std::string user, password;
};

struct Address final : Smtp::IAddress {
  Address(const wchar_t* n, const char* a) : name(n), address(a) {}
  const wchar_t* GetName() override { return name; }
  const char* GetAddress() override { return address; }
  const wchar_t* name;
  const char* address;
};

struct Info final : Smtp::IMessageInfo {
  Smtp::IAddress& GetSender() override { return sender; }
  uint32_t GetRecipientCount() override { return 1; }
  Smtp::IAddress& GetRecipient(unsigned int) override { return recipient; }
  const wchar_t* GetSubject() override { return L"CPU Usage on Localhost Error."; }
  Address sender{L"Varnalis 1.4", "monitor@example.com"};
  Address recipient{L"", "admin@example.com"};
};

uint32_t SendOne(Params& params, Info& info) {
  Smtp::IClient* client = nullptr;
  if (uint32_t result = Smtp::CreateClient(&client); result != 0) return result;
  uint32_t result = client->Connect(params);
  if (result == 0)
    result = client->SendText(L"09:12:55 PM  06 Dec 2026\n97 % current value.\n95 % error value.", info, 65001);
  if (result == 0) result = client->EndMessage();
  client->Disconnect(result == 0);
  client->Release();
  return result;
}

// Milliseconds per message, or a negative value when a mail failed.
double Measure(const char* name, Params& params, int messages) {
  Info info;
  SendOne(params, info);  // warm-up: name lookup, certificate store
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < messages; ++i) {
    if (uint32_t result = SendOne(params, info); result != 0) {
      std::printf("%s: failed with %u\n", name, result);
      return -1;
    }
  }
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-22s %7.2f ms per message (%d messages)\n", name, ms / messages, messages);
  return ms / messages;
}

// The same STARTTLS mail through smtplib, one TLS context for all messages;
// a negative value when Python cannot be run (under Wine, for one).
double MeasureSmtplib(const std::string& peersFile, int messages) {
  std::string out = peersFile.substr(0, peersFile.find_last_of("/\\") + 1) + "smtplib.txt";
  std::string command = "/usr/bin/python3 '" VARNALIS_SMTPLIB_SCRIPT "' " + std::to_string(messages) + " >'" + out +
                        "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) return -1;
  double ms = -1;
  std::ifstream(out) >> ms;
  return ms;
}

}  // namespace

int main() {
  const char* file = std::getenv("VARNALIS_PEERS");
  if (file == nullptr) {
    std::printf("run me through tests/peers/run_with_peers.py\n");
    return 1;
  }
  std::map<std::string, std::string> peers;
  std::ifstream lines(file);
  for (std::string line; std::getline(lines, line);) {
    if (auto eq = line.find('='); eq != std::string::npos) peers[line.substr(0, eq)] = line.substr(eq + 1);
  }
  PlatformServices platform;
  if (!platform.Start()) return 1;
  Params plain;
  plain.port = static_cast<unsigned short>(std::stoi(peers["open"]));
  Measure("plain", plain, 200);
  Params secure;
  secure.port = static_cast<unsigned short>(std::stoi(peers["starttls"]));
  secure.tls = true;
  secure.user = peers["user"];
  secure.password = peers["password"];
  double ours = Measure("STARTTLS + AUTH PLAIN", secure, 100);
  double python = MeasureSmtplib(file, 100);
  if (python <= 0) {
    std::printf("smtplib: not measured (needs /usr/bin/python3)\n");
  } else if (ours > 0) {
    std::printf("%-22s %7.2f ms per message (100 messages)\n", "smtplib, same mail", python);
    std::printf("STARTTLS time / smtplib's: %.2f\n", ours / python);
  }
  return 0;
}
