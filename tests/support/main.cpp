#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>

#include "support/watchdog.h"

namespace {

// Tells the watchdog which test case runs.
struct CurrentTestListener : doctest::IReporter {
  explicit CurrentTestListener(const doctest::ContextOptions&) {}
  void report_query(const doctest::QueryData&) override {}
  void test_run_start() override {}
  void test_run_end(const doctest::TestRunStats&) override {}
  void test_case_start(const doctest::TestCaseData& data) override { Watchdog::SetCurrentTest(data.m_name); }
  void test_case_reenter(const doctest::TestCaseData&) override {}
  void test_case_end(const doctest::CurrentTestCaseStats&) override {}
  void test_case_exception(const doctest::TestCaseException&) override {}
  void subcase_start(const doctest::SubcaseSignature&) override {}
  void subcase_end() override {}
  void log_assert(const doctest::AssertData&) override {}
  void log_message(const doctest::MessageData&) override {}
  void test_case_skipped(const doctest::TestCaseData&) override {}
};
REGISTER_LISTENER("current-test", 1, CurrentTestListener);

}  // namespace

int main(int argc, char** argv) {
  Watchdog watchdog(std::chrono::minutes(10));
  doctest::Context context(argc, argv);
  return context.run();
}
