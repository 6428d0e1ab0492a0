#pragma once
// The real servers that tests/peers/run_with_peers.py starts around the test
// program, and the summaries of the messages they received.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace peers {

struct Peers {
  std::map<std::string, std::string> values;  // the runner's name=value lines

  std::string Value(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  }
  unsigned short Port(const std::string& name) const {
    return static_cast<unsigned short>(std::atoi(Value(name).c_str()));
  }
  // The runner gives Windows programs Wine paths already.
  std::string Mailbox() const { return Value("mailbox"); }
  std::string User() const { return Value("user"); }
  std::string Password() const { return Value("password"); }
  // Where the implicit-TLS server listens on port 465; empty when it could not.
  std::string ImplicitHost() const { return Value("implicit_host"); }
};

// Empty when the program runs without the runner.
// Fails the test when the program was not started by the runner.
inline Peers Load() {
  Peers peers;
  const char* file = std::getenv("VARNALIS_PEERS");
  REQUIRE_MESSAGE(file != nullptr, "run this program through tests/peers/run_with_peers.py");
  std::ifstream in(file, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (auto eq = line.find('='); eq != std::string::npos) peers.values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return peers;
}

struct Mail {
  std::multimap<std::string, std::string> fields;
  std::string body;  // decoded text, UTF-8, line ends as LF

  std::string Field(const std::string& name) const {
    auto it = fields.find(name);
    return it == fields.end() ? std::string() : it->second;
  }
  std::vector<std::string> All(const std::string& name) const {
    std::vector<std::string> out;
    for (auto [it, end] = fields.equal_range(name); it != end; ++it) out.push_back(it->second);
    return out;
  }
};

inline std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char c = text[++i];
    out += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

inline Mail ParseSummary(const std::string& text) {
  Mail mail;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty()) break;
    if (auto eq = line.find('='); eq != std::string::npos)
      mail.fields.emplace(line.substr(0, eq), Unescape(line.substr(eq + 1)));
  }
  if (pos < text.size()) mail.body = text.substr(pos);
  return mail;
}

// What the server named peer received, oldest first.
inline std::vector<Mail> Received(const Peers& peers, const std::string& peer) {
  std::vector<std::pair<int, std::filesystem::path>> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(peers.Mailbox(), error)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(peer + "-", 0) != 0 || entry.path().extension() != ".txt") continue;
    files.emplace_back(std::atoi(name.c_str() + peer.size() + 1), entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<Mail> mails;
  for (const auto& [number, path] : files) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    mails.push_back(ParseSummary(text.str()));
  }
  return mails;
}

}  // namespace peers
