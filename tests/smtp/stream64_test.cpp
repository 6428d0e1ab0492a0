#include "smtp/stream64.h"

#include <doctest/doctest.h>

#include <string>

#include "tests/smtp/peers.h"

TEST_CASE("stream writes: empty and null writes never reach the data, adapters forward") {
  peers::Collect sink;
  uint64_t written = 9;
  CHECK(sink.Write("x", 0, &written) == 0);
  CHECK(written == 0);
  CHECK(sink.Write(nullptr, 3, &written) == 1);
  CHECK(sink.calls == 0);

  Smtp::Stream64AdapterBase<Smtp::ISerialStream64Out> adapter;
  CHECK(adapter.Write("abc", 3, &written) == 1);  // no next stream
  adapter.Attach(&sink);
  CHECK(adapter.Write("abc", 3, &written) == 0);
  CHECK(written == 3);
  CHECK(sink.bytes == "abc");
  adapter.Detach();
  CHECK(adapter.Write("d", 1, nullptr) == 1);
}
