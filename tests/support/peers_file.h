#pragma once
// What tests/peers/run_with_peers.py hands the program it runs: the servers'
// ports and names, and the records of what they received.
#include <doctest/doctest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace peers {

struct Peers {
  std::map<std::string, std::string> values;  // the runner's name=value lines; paths are Wine paths for Wine

  std::string Value(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  }
  unsigned short Port(const std::string& name) const {
    return static_cast<unsigned short>(std::atoi(Value(name).c_str()));
  }
};

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

struct Record {
  std::multimap<std::string, std::string> fields;
  std::string body;  // decoded text, UTF-8

  std::string Field(const std::string& name) const {
    auto it = fields.find(name);
    return it == fields.end() ? std::string() : it->second;
  }
  std::vector<std::string> All(const std::string& name) const {
    std::vector<std::string> out;
    for (auto [it, end] = fields.equal_range(name); it != end; ++it) out.push_back(it->second);
    return out;
  }
  // The body with line ends as LF (an encoder may carry CR LF through as encoded bytes), no trailing blanks.
  std::string Text() const {
    std::string text;
    for (size_t i = 0; i < body.size(); ++i) {
      if (body[i] != '\r' || i + 1 == body.size() || body[i + 1] != '\n') text += body[i];
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
  }
};

// What the server named peer received (for the hook servers: "hook", all of them), oldest first. A
// record holds name=value lines (\\, \r, \n escaped), an empty line, the body.
inline std::vector<Record> Received(const Peers& peers, const std::string& peer) {
  std::map<int, std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(peers.Value("mailbox"), error)) {
    std::string name = entry.path().filename().string();
    if (name.starts_with(peer + "-") && entry.path().extension() == ".txt")
      files[std::atoi(name.c_str() + peer.size() + 1)] = entry.path();
  }
  std::vector<Record> mails;
  for (const auto& [number, path] : files) {
    Record& mail = mails.emplace_back();
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line) && !line.empty();) {
      std::string value;
      for (size_t i = line.find('=') + 1; i > 0 && i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\' && i + 1 < line.size()) c = line[++i] == 'n' ? '\n' : line[i] == 'r' ? '\r' : line[i];
        value += c;
      }
      mail.fields.emplace(line.substr(0, line.find('=')), value);
    }
    mail.body.assign(std::istreambuf_iterator<char>(in), {});
  }
  return mails;
}

}  // namespace peers
