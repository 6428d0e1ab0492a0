#include "settings/reg_file_format.h"

#include <doctest/doctest.h>

#include <random>
#include <tuple>

#include "common/utf16.h"

namespace {

const std::wstring kKey = L"HKEY_CURRENT_USER\\Software\\Pellard Software\\Varnalis 1.4\\Connection";

std::string Utf16File(std::wstring_view text) { return "\xFF\xFE" + EncodeUtf16Le(text); }

// REG_SZ bytes, with the terminating zero Windows stores.
std::string Sz(std::wstring_view text) { return EncodeUtf16Le(text) + std::string(2, '\0'); }

RegFileHive Parsed(std::string_view bytes) {
  RegFileHive hive;
  std::wstring error;
  bool ok = hive.Parse(bytes, error);
  INFO(ToUtf8(error));
  CHECK(ok);
  return hive;
}

void CheckValue(const RegFileHive& hive, const std::wstring& key, const std::wstring& name, uint32_t type,
                const std::string& data) {
  INFO(ToUtf8(key), " / ", ToUtf8(name));
  const RegFileValue* value = hive.Find(key, name);
  REQUIRE(value);
  CHECK(value->type == type);
  CHECK(value->data == data);
}

// Keys (empty ones too), names, types and bytes, in order.
std::vector<std::tuple<std::wstring, std::wstring, uint32_t, std::string>> Flat(const RegFileHive& hive) {
  std::vector<std::tuple<std::wstring, std::wstring, uint32_t, std::string>> out;
  for (const RegFileKey& key : hive.Keys()) {
    out.emplace_back(key.path, L"", 0, "[key]");
    for (const RegFileValue& v : key.values) out.emplace_back(key.path, v.name, v.type, v.data);
  }
  return out;
}

}  // namespace

TEST_CASE("Reg export files: UTF-16LE with a mark and CR LF, UTF-8 with a mark, LF and REGEDIT4; every data form") {
  RegFileHive hive = Parsed(Utf16File(
      L"Windows Registry Editor Version 5.00\r\n\r\n; a comment\r\n[" + kKey + L"]\r\n"
      L"\"server\"=\"db01 \U0001F600\"\r\n\"period\"=dword:00007530\r\n\"short\"=dword:1e\r\n\"user\"=hex:61,00,64,00\r\n"
      L"@=\"default\"\r\n\"multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n\"none\"=hex(0):\r\n"
      L"\"big\"=HEX(FFFFFFFF):01\r\n"
      L"\"long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n  17,18,\\\r\n  19\r\n\r\n"));
  REQUIRE(hive.Keys().size() == 1);
  CHECK(hive.Keys()[0].path == kKey);
  CHECK(hive.Keys()[0].values.size() == 9);
  CheckValue(hive, kKey, L"server", 1, Sz(L"db01 \U0001F600"));
  CheckValue(hive, kKey, L"period", 4, std::string("\x30\x75\0\0", 4));
  CheckValue(hive, kKey, L"short", 4, std::string("\x1e\0\0\0", 4));
  CheckValue(hive, kKey, L"user", 3, EncodeUtf16Le(L"ad"));
  CheckValue(hive, kKey, L"", 1, Sz(L"default"));
  CheckValue(hive, kKey, L"multi", 7, std::string("a\0\0\0b\0\0\0\0\0", 10));
  CheckValue(hive, kKey, L"none", 0, "");
  CheckValue(hive, kKey, L"big", 0xFFFFFFFF, "\x01");
  std::string counting;
  for (char c = 0; c <= 0x19; ++c) counting += c;
  CheckValue(hive, kKey, L"long", 3, counting);

  // UTF-8 without a mark is what Serialize writes: the round trips below read it.
  RegFileHive old = Parsed("\xEF\xBB\xBFREGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"caf\xC3\xA9 \xF0\x9F\x98\x80\"=dword:00000001\n");
  CheckValue(old, L"HKEY_CURRENT_USER\\A", L"caf\u00e9 \U0001F600", 4, std::string("\1\0\0\0", 4));
  CHECK(Parsed("\xEF\xBB\xBF \r\n").Keys().empty());
}

TEST_CASE("Deleted keys and values, merged keys and later duplicates") {
  RegFileHive hive = Parsed(
      "Windows Registry Editor Version 5.00\r\n"
      "[HKEY_CURRENT_USER\\Tree]\r\n\"first\"=\"1\"\r\n"
      "[HKEY_CURRENT_USER\\Tree\\Leaf]\r\n\"leaf\"=\"l\"\r\n"
      "[HKEY_CURRENT_USER\\TreeHouse]\r\n\"house\"=\"h\"\r\n"
      "[HKEY_CURRENT_USER\\Other]\r\n\"gone\"=\"g\"\r\n\"Dup\"=\"x\"\r\n\"back\"=\"b1\"\r\n"
      "[hkey_current_user\\OTHER]\r\n\"GONE\"=-\r\n\"never\"=-\r\n\"BACK\"=-\r\n\"back\"=\"b2\"\r\n\"dup\"=hex:01\r\n"
      "[-HKEY_CURRENT_USER\\tree]\r\n"
      "[HKEY_CURRENT_USER\\Tree]\r\n\"new\"=\"n\"\r\n");
  // Deleting Tree took Tree\Leaf with it, not TreeHouse; Tree came back with only the new value.
  // The duplicate kept its first place and name; the deleted and re-created value moved to the end.
  CHECK(hive.Serialize() ==
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\TreeHouse]\r\n\"house\"=\"h\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Other]\r\n\"Dup\"=hex:01\r\n\"back\"=\"b2\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Tree]\r\n\"new\"=\"n\"\r\n\r\n");
}

TEST_CASE("Text that is not a hive file is refused, naming the line, and the hive stays as it was") {
  const std::string h = "Windows Registry Editor Version 5.00\r\n\r\n";
  const std::string k = h + "[HKEY_CURRENT_USER\\K]\r\n";
  const struct { std::string bytes; int line; } cases[] = {
      {"\r\nhello\r\n", 2}, {h + "\"a\"=\"b\"\r\n", 3}, {k + "[-HKEY_CURRENT_USER\\K]\r\n\"a\"=\"b\"\r\n", 5},
      {k + "\"a=dword:1\r\n", 4}, {k + "\"a\"=\"b\\n\"\r\n", 4}, {k + "\"a\"=\"b\" x\r\n", 4}, {k + "junk\r\n", 4},
      {k + "\"a\"=hex:102\r\n", 4}, {k + "\"a\"=hex(123456789):00\r\n", 4}, {k + "\"a\"=dword:123456789\r\n", 4},
      {k + "\"a\"=hex:01,\\\r\n", 4}, {k + "\"a\"=hex:01,\\\r\n  \xff\r\n", 5}, {k + "[HKEY_CURRENT_USER\\K] x\r\n", 4},
      {k + "[]\r\n", 4}, {k + std::string("\"a\"=\"b\0\"\r\n", 10), 4}, {k + "\"a\"=\"\xC3\x28\"\r\n", 4},
      {Utf16File(L"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\K]\r\n") + "x", 3},
      {Utf16File(L"Windows Registry Editor Version 5.00\r\n[K") + std::string("\x00\xD8", 2) + EncodeUtf16Le(L"]\r\n"), 2},
      {k + "\"a\"=hex:33,00,30,00\r\n\"b\"=hex:61,00,62", 5}, {k + "\"a\"=\"b\"", 4},  // cut short
      {h + std::string(RegFileHive::kMaxFileBytes, ' '), 0},  // over 16 MiB: no line named
  };
  for (const auto& c : cases) {
    INFO(c.bytes.substr(0, 200));
    RegFileHive hive;
    hive.Set(L"HKEY_CURRENT_USER\\Kept", L"v", 3, "x");
    std::string before = hive.Serialize();
    std::wstring error;
    CHECK_FALSE(hive.Parse(c.bytes, error));
    std::wstring want = c.line ? L"line " + std::to_wstring(c.line) + L": " : L"the file is larger than 16 MiB";
    CHECK(error.rfind(want, 0) == 0);
    CHECK(hive.Serialize() == before);
  }
}

TEST_CASE("Serialize writes regedit's layout, choosing the data form each value can take") {
  RegFileHive hive;
  hive.Set(kKey, L"", 1, Sz(L"x"));
  hive.Set(kKey, L"period", 4, std::string("\x30\x75\0\0", 4));
  hive.Set(kKey, L"q\"\\", 1, Sz(L"C:\\dir \"x\""));
  hive.Set(kKey, L"bin", 3, "\x01\xAB");
  hive.Set(kKey, L"multi", 7, std::string("a\0\0\0", 4));
  hive.Set(kKey, L"lines", 1, Sz(L"a\nb"));
  hive.Set(kKey, L"unended", 1, "a");
  hive.Set(kKey, L"inner zero", 1, std::string("a\0\0\0b\0\0\0", 8));
  hive.Set(kKey, L"odd dword", 4, "\x01\x02\x03");
  hive.Set(kKey, L"lone", 1, std::string("\x00\xD8\0\0", 4));
  hive.Set(L"HKEY_CURRENT_USER\\Caf\u00e9", L"\U0001F600", 1, Sz(L"\u00e9"));
  CHECK(hive.Serialize() ==
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Pellard Software\\Varnalis 1.4\\Connection]\r\n"
        "@=\"x\"\r\n\"period\"=dword:00007530\r\n\"q\\\"\\\\\"=\"C:\\\\dir \\\"x\\\"\"\r\n"
        "\"bin\"=hex:01,ab\r\n\"multi\"=hex(7):61,00,00,00\r\n\"lines\"=hex(1):61,00,0a,00,62,00,00,00\r\n"
        "\"unended\"=hex(1):61\r\n\"inner zero\"=hex(1):61,00,00,00,62,00,00,00\r\n"
        "\"odd dword\"=hex(4):01,02,03\r\n\"lone\"=hex(1):00,d8,00,00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Caf\xC3\xA9]\r\n\"\xF0\x9F\x98\x80\"=\"\xC3\xA9\"\r\n\r\n");
}

TEST_CASE("Random data, odd names and key paths survive a round trip; long hex wraps within 80 characters") {
  std::mt19937 random(20240611);
  // Whole characters: on Windows the last one is two code units.
  const std::wstring_view alphabet[] = {L"a", L"Z", L"0", L" ", L"\t", L"\"", L"\\", L"=", L"@", L"[", L"]",
                                        L";", L"-", L",", L":", L"\r", L"\u00e9", L"\u4e2d", L"\U0001F600"};
  auto randomText = [&](size_t maxLength) {
    std::wstring text;
    for (size_t i = random() % (maxLength + 1); i > 0; --i) text += alphabet[random() % std::size(alphabet)];
    return text;
  };
  const uint32_t types[] = {0, 1, 1, 2, 3, 3, 4, 4, 7, 11, 0xFFFFFFFF};
  RegFileHive hive;
  for (int k = 0; k < 20; ++k) {
    std::wstring path = L"HKEY_CURRENT_USER\\" + randomText(30);
    for (int v = 0; v < 15; ++v) {
      uint32_t type = types[random() % std::size(types)];
      std::string data;
      if (type == 1 && random() % 2) {
        data = Sz(randomText(40));
      } else {
        for (size_t i = type == 4 && random() % 2 ? 4 : random() % 200; i > 0; --i) data += static_cast<char>(random());
      }
      hive.Set(path, randomText(20), type, data);
    }
  }
  hive.Set(kKey, std::wstring(120, L'n'), 0x2A, std::string(300, 'x'));  // a name wider than a line
  std::string text = hive.Serialize();
  size_t wrapped = 0;
  for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    if (text.compare(start, 2, "  ") != 0) continue;  // names may make a first line longer
    ++wrapped;
    CHECK(end - start <= 80);
    CHECK(text[start - 3] == '\\');
  }
  CHECK(wrapped > 100);
  RegFileHive back = Parsed(text);
  CHECK(Flat(back) == Flat(hive));
  CHECK(back.Serialize() == text);
}
