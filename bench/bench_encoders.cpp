// Throughput of the body encoders on 64 MB of text, beside a plain memory
// copy of the same data in the same run. Prints figures; no pass/fail.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "smtp/encoding.h"

namespace {

// Counts what arrives, as the socket would take it.
class Sink final : public Smtp::ISerialStream64Out {
 public:
  uint32_t Write(const void*, uint64_t size, uint64_t* written) override {
    bytes += size;
    if (written) *written = size;
    return 0;
  }
  uint64_t bytes = 0;
};

constexpr size_t kSize = 64 << 20;
constexpr size_t kChunk = 64 << 10;  // what a sender hands over at a time

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <class Encoder>
void Encode(const char* name, const std::string& text) {
  Sink sink;
  Encoder encoder;
  encoder.Attach(&sink);
  encoder.Begin();
  auto start = std::chrono::steady_clock::now();
  for (size_t at = 0; at < text.size(); at += kChunk) encoder.Write(text.data() + at, kChunk, nullptr);
  encoder.Finish();
  double seconds = Seconds(start);
  std::printf("%-18s %8.1f MB/s  (%llu bytes out)\n", name, kSize / 1e6 / seconds,
              static_cast<unsigned long long>(sink.bytes));
}

}  // namespace

int main() {
  // Mostly ASCII text with line breaks and some accented letters.
  std::mt19937 random(1);
  const char* words[] = {"monitor ", "server ", "load. ", "caf\xC3\xA9 ", "\r\n", "disk ", "=value "};
  std::string text;
  text.reserve(kSize + 16);
  while (text.size() < kSize) text += words[random() % 7];
  text.resize(kSize);

  std::string copy(kSize, '\0');
  auto start = std::chrono::steady_clock::now();
  for (size_t at = 0; at < kSize; at += kChunk) std::memcpy(&copy[at], &text[at], kChunk);
  double seconds = Seconds(start);
  std::printf("%-18s %8.1f MB/s  (checksum %d)\n", "memcpy", kSize / 1e6 / seconds, copy[kSize / 2]);

  Encode<Smtp::Base64::EncodingStream>("Base64 stream", text);
  Encode<Smtp::QuotedPrintable::EncodingStream>("Quoted-Printable", text);
  return 0;
}
