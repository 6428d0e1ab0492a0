#include "notify/message_texts.h"

#include "common/time_text.h"
#include "notify/templates.h"
#include "parameters/parameters.h"
#include "settings/settings.h"

namespace {

void ReplaceAll(std::wstring& text, const std::wstring& placeholder, const std::wstring& value) {
  for (size_t at = text.find(placeholder); at != std::wstring::npos;
       at = text.find(placeholder, at + value.size())) {
    text.replace(at, placeholder.size(), value);
  }
}

}  // namespace

std::wstring BuildSubject(const Settings& settings, int id, ParameterState state) {
  std::wstring subject = state == ParameterState::Ok        ? kSubjectOk
                         : state == ParameterState::Warning ? kSubjectWarning
                                                            : kSubjectError;
  ReplaceAll(subject, L"%PARAMETER%", ParameterDisplayName(id, settings.Parameters));
  ReplaceAll(subject, L"%SERVER%", settings.Connection.local ? L"Localhost" : settings.Connection.server.Get());
  return subject;
}

std::wstring BuildBody(const Settings& settings, int id, int64_t value, ParameterState state,
                       const std::wstring& missing) {
  std::wstring body;
  if (static_cast<ParameterId>(id) == ParameterId::Process) {
    body = kBodyProcess;
  } else {
    body = state == ParameterState::Ok ? kBodyOk : state == ParameterState::Warning ? kBodyWarning : kBodyError;
    const std::wstring& unit = ParameterUnit(id);
    ReplaceAll(body, L"%VALUE%", value == kNotAvailable ? L"N/A" : std::to_wstring(value) + L" " + unit);
    ReplaceAll(body, L"%NVALUE%", settings.Parameters.notificationValue[id].Get() + L" " + unit);
  }
  ReplaceAll(body, L"%TIME%", NowText());
  if (value == kNotAvailable && !missing.empty()) body += L"\nN/A: " + missing;
  return body;
}

std::wstring FlattenBody(const std::wstring& body) {
  std::wstring flat = L" " + body;
  for (wchar_t& c : flat) {
    if (c == L'\n') c = L' ';
  }
  return flat;
}

