#include "notify/webhook_payload.h"

#include <string_view>

#include "common/utf16.h"
#include "notify/json_string.h"

namespace {

constexpr char kJson[] = "application/json";

std::string Number(const std::optional<int64_t>& n) { return n ? std::to_string(*n) : "null"; }

// Slack reads &, < and > as its own markup.
std::wstring SlackEscaped(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'&') out += L"&amp;";
    else if (c == L'<') out += L"&lt;";
    else if (c == L'>') out += L"&gt;";
    else out.push_back(c);
  }
  return out;
}

// Discord refuses a message over 2000 characters: the end of a long one gives way.
std::wstring DiscordContent(const WebhookMessage& m) {
  constexpr size_t kLimit = 2000;
  std::wstring content = L"**" + m.subject + L"**\n" + m.text;
  size_t characters = 0, cut = 0;
  for (size_t i = 0; i < content.size(); ++i) {
    bool trail = sizeof(wchar_t) == 2 && content[i] >= 0xDC00 && content[i] <= 0xDFFF && i > 0 &&
                 content[i - 1] >= 0xD800 && content[i - 1] <= 0xDBFF;
    if (trail) continue;
    if (++characters == kLimit) cut = i;
  }
  if (characters <= kLimit) return content;
  content.resize(cut);  // at a character boundary, one short of the limit
  return content + L"\u2026";
}

std::string Generic(const WebhookMessage& m) {
  return "{\"computer\":" + JsonString(m.computer) + ",\"parameter\":" + JsonString(m.parameter) +
                  ",\"state\":\"" + m.state + "\",\"value\":" + Number(m.value) + ",\"unit\":" + JsonString(m.unit) +
                  ",\"limit\":" + Number(m.limit) + ",\"time\":\"" + m.time + "\",\"subject\":" +
                  JsonString(m.subject) + ",\"text\":" + JsonString(m.text) + "}";
}

std::string TeamsCard(const WebhookMessage& m) {
  std::string_view color = std::string_view(m.state) == "OK" ? "Good" : std::string_view(m.state) == "Error" ? "Attention" : "Default";
  std::wstring value = m.value ? std::to_wstring(*m.value) + (m.unit.empty() ? L"" : L" " + m.unit) : L"N/A";
  auto fact = [](const char* title, const std::wstring& text) {
    return std::string("{\"title\":\"") + title + "\",\"value\":" + JsonString(text) + "}";
  };
  std::string card =
      "{\"$schema\":\"http://adaptivecards.io/schemas/adaptive-card.json\",\"type\":\"AdaptiveCard\",\"version\":\"1.4\","
      "\"body\":[{\"type\":\"TextBlock\",\"text\":" + JsonString(m.subject) +
      ",\"weight\":\"Bolder\",\"size\":\"Medium\",\"wrap\":true,\"color\":\"" + std::string(color) +
      "\"},{\"type\":\"TextBlock\",\"text\":" + JsonString(m.text) +
      ",\"wrap\":true},{\"type\":\"FactSet\",\"facts\":[" + fact("Computer", m.computer) + "," +
      fact("Parameter", m.parameter) + "," + fact("Value", value) + "]}]}";
  return "{\"type\":\"message\",\"attachments\":[{\"contentType\":\"application/vnd.microsoft.card.adaptive\","
         "\"contentUrl\":null,\"content\":" + card + "}]}";
}

}  // namespace

WebhookBody BuildWebhookBody(WebhookFormat format, const WebhookMessage& m) {
  switch (format) {
    case WebhookFormat::Slack:
      return {kJson, "{\"text\":" + JsonString(SlackEscaped(L"*" + m.subject + L"*\n" + m.text)) + "}"};
    case WebhookFormat::Teams:
      return {kJson, TeamsCard(m)};
    case WebhookFormat::Discord:
      // Mentions in a measured name must never ping anyone.
      return {kJson, "{\"content\":" + JsonString(DiscordContent(m)) + ",\"allowed_mentions\":{\"parse\":[]}}"};
    case WebhookFormat::PlainText:
      return {"text/plain; charset=utf-8", ToUtf8(m.subject + L"\n\n" + m.text)};
    case WebhookFormat::GenericJson:
    default:  // a stored format from a later version
      return {kJson, Generic(m)};
  }
}
