#include "support/test_ca.h"

#include <doctest/doctest.h>
#include <windows.h>
#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> FirstCertificate(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::string pem((std::istreambuf_iterator<char>(in)), {});
  DWORD size = 0;
  if (pem.empty() || !CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                           nullptr, &size, nullptr, nullptr))
    return {};
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                            nullptr, nullptr))
    return {};
  der.resize(size);
  return der;
}

// The machine's Root store needs no confirmation dialog, which the user's may
// show; Wine lets any user write it.
bool AddToRoot(DWORD location, const std::vector<BYTE>& der) {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, location, L"Root");
  if (!store) return false;
  bool added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                CERT_STORE_ADD_USE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  return added;
}

}  // namespace

void TrustTestCa() {
  wchar_t path[MAX_PATH * 2];
  DWORD length = GetEnvironmentVariableW(L"SSL_CERT_FILE", path, MAX_PATH * 2);
  REQUIRE_MESSAGE((length > 0 && length < MAX_PATH * 2), "SSL_CERT_FILE names the test CA");
  std::vector<BYTE> der = FirstCertificate(std::wstring(path, length));
  REQUIRE_MESSAGE(!der.empty(), "SSL_CERT_FILE holds a PEM certificate");
  REQUIRE_MESSAGE((AddToRoot(CERT_SYSTEM_STORE_LOCAL_MACHINE, der) || AddToRoot(CERT_SYSTEM_STORE_CURRENT_USER, der)),
                  "the test CA joins a Root store, error " << GetLastError());
}
