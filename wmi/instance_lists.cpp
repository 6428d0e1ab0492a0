#include "wmi/instance_lists.h"

#include "wmi/wmi_query.h"

namespace {

const wchar_t* ClassOf(InstanceKind kind) {
  switch (kind) {
    case InstanceKind::NetworkAdapter:
      return L"Win32_PerfRawData_Tcpip_NetworkInterface";
    case InstanceKind::LogicalDisk:
      return L"Win32_LogicalDisk";
    case InstanceKind::Process:
      return L"Win32_Process";
    case InstanceKind::WebServer:
      break;
  }
  return L"Win32_PerfRawData_W3SVC_WebService";
}

std::wstring Hex(wchar_t c, int digits) {
  std::wstring text;
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text += L"0123456789ABCDEF"[(c >> shift) & 0xF];
  return text;
}

bool IsSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// A high surrogate followed by a low one: one character where wide text is UTF-16.
bool IsPair(std::wstring_view text, size_t i) {
  return sizeof(wchar_t) == 2 && i + 1 < text.size() && text[i] >= 0xD800 && text[i] <= 0xDBFF &&
         text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
}

}  // namespace

WmiCode ListInstances(WmiQuery& query, InstanceKind kind, std::vector<std::wstring>& names) {
  WmiCode code = query.QueryProperty(ClassOf(kind), L"Name", nullptr, &names, nullptr);
  if (kind == InstanceKind::WebServer && !names.empty()) names.erase(names.begin());
  return code;
}

std::wstring EscapedName(std::wstring_view name) {
  std::wstring line;
  for (size_t i = 0; i < name.size(); ++i) {
    wchar_t c = name[i];
    if (c == L'\\') {
      line += L"\\\\";
    } else if (c == L'\t') {
      line += L"\\t";
    } else if (c == L'\n') {
      line += L"\\n";
    } else if (c == L'\r') {
      line += L"\\r";
    } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
      line += L"\\x" + Hex(c, 2);
    } else if (IsPair(name, i)) {
      line += name.substr(i++, 2);
    } else if (IsSurrogate(c)) {
      line += L"\\u" + Hex(c, 4);
    } else {
      line += c;
    }
  }
  return line;
}
