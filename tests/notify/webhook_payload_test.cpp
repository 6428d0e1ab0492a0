#include <doctest/doctest.h>

#include "common/utf16.h"
#include "notify/json_string.h"
#include "notify/webhook_payload.h"
#include "support/json_value.h"

namespace {

std::wstring Wide(std::string_view utf8) {
  std::wstring text;
  FromUtf8(utf8, text);
  return text;
}

const std::wstring kGrin = Wide("\xF0\x9F\x98\x80");  // U+1F600, beyond the BMP

// Everything a receiver's JSON reader might trip on.
const std::wstring kHostile = std::wstring(L"q\"b\\s/\x01\x1F\x7F\n\r\tend <@everyone> & \u00e9\u20ac\u2028") +
                              static_cast<wchar_t>(0xD800) + L"x" + kGrin;

WebhookMessage Message(std::optional<int64_t> value) {
  WebhookMessage m;
  m.computer = L"web-01";
  m.parameter = L"Process (" + kHostile + L")";
  m.state = "Error";
  m.value = value;
  m.unit = L"%";
  m.limit = 95;
  m.time = "2026-12-05T15:04:05+01:00";
  m.subject = L"CPU Usage on web-01 Error.";
  m.text = L"line one\n" + kHostile;
  return m;
}

std::string Utf8(const std::wstring& text) { return ToUtf8(text); }

}  // namespace

TEST_CASE("a JSON string holds any text: escapes read back to the text, lone surrogates as U+FFFD") {
  struct Row {
    std::wstring text;
    std::string json;
  } rows[] = {
      {L"", "\"\""},
      {L"a\"b\\c", "\"a\\\"b\\\\c\""},
      {L"\n\r\t\x01\x1F\x7F", "\"\\n\\r\\t\\u0001\\u001f\\u007f\""},
      {L"\u2028\u2029", "\"\\u2028\\u2029\""},
      {kGrin, "\"\xF0\x9F\x98\x80\""},
      {std::wstring(1, static_cast<wchar_t>(0xDC00)), "\"\xEF\xBF\xBD\""},
  };
  for (const Row& row : rows) {
    CAPTURE(row.json);
    CHECK(JsonString(row.text) == row.json);
    auto read = ParseJson(row.json);
    REQUIRE(read);
    CHECK(read->text == Utf8(row.text));
  }
}

TEST_CASE("each format is what its service reads, and every JSON body is valid with the texts intact") {
  const WebhookMessage m = Message(97);
  const std::string subject = Utf8(m.subject), text = Utf8(m.text);
  SUBCASE("generic") {
    WebhookBody b = BuildWebhookBody(WebhookFormat::GenericJson, m);
    auto json = ParseJson(b.body);
    REQUIRE(json);
    CHECK(b.contentType == "application/json");
    CHECK(json->StringAt({"computer"}) == "web-01");
    CHECK(json->StringAt({"parameter"}) == Utf8(m.parameter));
    CHECK(json->StringAt({"state"}) == "Error");
    CHECK(json->StringAt({"value"}) == "97");
    CHECK(json->StringAt({"unit"}) == "%");
    CHECK(json->StringAt({"limit"}) == "95");
    CHECK(json->StringAt({"time"}) == "2026-12-05T15:04:05+01:00");
    CHECK(json->StringAt({"subject"}) == subject);
    CHECK(json->StringAt({"text"}) == text);
    auto na = ParseJson(BuildWebhookBody(WebhookFormat::GenericJson, Message(std::nullopt)).body);
    REQUIRE(na);
    CHECK(na->Field("value")->kind == JsonValue::Kind::Null);
  }
  SUBCASE("Slack: its markup characters escaped") {
    auto json = ParseJson(BuildWebhookBody(WebhookFormat::Slack, m).body);
    REQUIRE(json);
    std::string got = json->StringAt({"text"});
    CHECK(got.rfind("*" + subject + "*\n", 0) == 0);
    CHECK(got.find("&lt;@everyone&gt; &amp; ") != std::string::npos);
    CHECK(got.find('<') == std::string::npos);
  }
  SUBCASE("Discord: no mention pings, cut to its 2000-character limit") {
    auto json = ParseJson(BuildWebhookBody(WebhookFormat::Discord, m).body);
    REQUIRE(json);
    CHECK(json->StringAt({"content"}) == "**" + subject + "**\n" + text);
    const JsonValue* parse = json->Field("allowed_mentions")->Field("parse");
    REQUIRE(parse);
    CHECK((parse->kind == JsonValue::Kind::Array && parse->items.empty()));
    WebhookMessage longer = m;
    longer.text = std::wstring(3000, L'x') + kGrin;
    auto cut = ParseJson(BuildWebhookBody(WebhookFormat::Discord, longer).body);
    REQUIRE(cut);
    std::wstring content;
    REQUIRE(FromUtf8(cut->StringAt({"content"}), content));
    CHECK(ToUtf16(content).size() == 2000);
  }
  SUBCASE("Teams: a message with one Adaptive Card") {
    auto json = ParseJson(BuildWebhookBody(WebhookFormat::Teams, m).body);
    REQUIRE(json);
    CHECK(json->StringAt({"type"}) == "message");
    const JsonValue& attachments = *json->Field("attachments");
    REQUIRE(attachments.items.size() == 1);
    const JsonValue& a = attachments.items[0];
    CHECK(a.StringAt({"contentType"}) == "application/vnd.microsoft.card.adaptive");
    CHECK(a.StringAt({"content", "type"}) == "AdaptiveCard");
    CHECK(a.StringAt({"content", "version"}) == "1.4");
    const JsonValue& body = *a.Field("content")->Field("body");
    REQUIRE(body.items.size() >= 2);
    CHECK(body.items[0].StringAt({"text"}) == subject);
    CHECK(body.items[1].StringAt({"text"}) == text);
  }
  SUBCASE("plain text: subject, a blank line, the body") {
    WebhookBody b = BuildWebhookBody(WebhookFormat::PlainText, m);
    CHECK(b.contentType == "text/plain; charset=utf-8");
    CHECK(b.body == subject + "\n\n" + text);
  }
  SUBCASE("a stored format from a later version posts generic JSON") {
    auto json = ParseJson(BuildWebhookBody(static_cast<WebhookFormat>(9), m).body);
    REQUIRE(json);
    CHECK(json->StringAt({"state"}) == "Error");
  }
}
