#include "common/decimal.h"

#include <doctest/doctest.h>

TEST_CASE("decimal texts are read leniently") {
  CHECK(ReadDecimal(L"") == 0);
  CHECK(ReadDecimal(L"  +17 MB") == 17);
  CHECK(ReadDecimal(L"-5") == -5);
  CHECK(ReadDecimal(L"9223372036854775807") == INT64_MAX);
  CHECK(ReadDecimal(L"abc") == 0);
  CHECK(ReadDecimal(L"99999999999999999999999") != 0);  // wraps, does not trap
}
