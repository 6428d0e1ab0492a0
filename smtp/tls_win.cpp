#include "smtp/tls.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS  // SCH_CREDENTIALS
#include <subauth.h>
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "common/scoped_win.h"

// Schannel does the record layer over raw.Send / raw.Receive (so the socket's
// time-out and cancel event rule every wait); the certificate is checked here,
// because manual validation is asked for and Wine's Schannel checks nothing
// anyway.

namespace Smtp {
namespace {

constexpr unsigned int kReadChunk = 16 * 1024 + 512;  // one record and its overhead

constexpr DWORD kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                           ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                           ISC_REQ_USE_SUPPLIED_CREDS | ISC_REQ_MANUAL_CRED_VALIDATION;

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

void CloseStore(HCERTSTORE store) {
  CertCloseStore(store, 0);
}
using CertPtr = Scoped<const CERT_CONTEXT*, NullTraits<const CERT_CONTEXT*, CertFreeCertificateContext>>;
using StorePtr = Scoped<HCERTSTORE, NullTraits<HCERTSTORE, CloseStore>>;
using ChainPtr = Scoped<const CERT_CHAIN_CONTEXT*, NullTraits<const CERT_CHAIN_CONTEXT*, CertFreeCertificateChain>>;

std::wstring CertFileVariable() {
  wchar_t path[MAX_PATH * 2];
  DWORD length = GetEnvironmentVariableW(L"SSL_CERT_FILE", path, MAX_PATH * 2);
  return length == 0 || length >= MAX_PATH * 2 ? std::wstring() : std::wstring(path, length);
}

// The certificates of the PEM file at path, in a memory store; empty when the
// file cannot be read.
StorePtr LoadPemStore(const std::wstring& path) {
  StorePtr store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
  if (!store || path.empty()) return store;
  std::string text;
  {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return store;
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0 && text.size() < (16u << 20)) {
      text.append(buffer, got);
    }
  }

  static const char kBegin[] = "-----BEGIN CERTIFICATE-----";
  static const char kEnd[] = "-----END CERTIFICATE-----";
  for (size_t at = text.find(kBegin); at != std::string::npos; at = text.find(kBegin, at)) {
    size_t end = text.find(kEnd, at);
    if (end == std::string::npos) break;
    end += sizeof kEnd - 1;
    DWORD size = 0;
    const char* block = text.data() + at;
    DWORD blockLength = static_cast<DWORD>(end - at);
    if (CryptStringToBinaryA(block, blockLength, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
      std::vector<BYTE> der(size);
      if (CryptStringToBinaryA(block, blockLength, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) {
        CertAddEncodedCertificateToStore(store.Get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(), size,
                                         CERT_STORE_ADD_USE_EXISTING, nullptr);
      }
    }
    at = end;
  }
  return store;
}

// The PEM file's store, read once for the process (the system's stores are
// the chain engine's, which keeps them open itself). It follows SSL_CERT_FILE:
// a changed value is read afresh.
class SharedTrust {
 public:
  // A reference of the caller's own, so a replaced store lives on while in use;
  // empty when no store can be made.
  StorePtr Get() {
    std::wstring certFile = CertFileVariable();
    std::lock_guard<std::mutex> hold(lock_);
    if (!extra_ || certFile != certFile_) {
      StorePtr made = LoadPemStore(certFile);
      if (!made) return made;
      extra_ = std::move(made);
      certFile_ = certFile;
    }
    return StorePtr(CertDuplicateStore(extra_.Get()));
  }

 private:
  std::mutex lock_;
  std::wstring certFile_;
  StorePtr extra_;
};

bool InStore(HCERTSTORE store, const CERT_CONTEXT* cert) {
  CertPtr found(CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                           cert, nullptr));
  return static_cast<bool>(found);
}

// An address literal as the bytes a certificate's IP entry holds; empty for a host name.
std::vector<BYTE> AddressBytes(const std::wstring& host) {
  IN_ADDR v4{};
  IN6_ADDR v6{};
  if (InetPtonW(AF_INET, host.c_str(), &v4) == 1) {
    auto p = reinterpret_cast<const BYTE*>(&v4);
    return {p, p + sizeof v4};
  }
  if (InetPtonW(AF_INET6, host.c_str(), &v6) == 1) {
    auto p = reinterpret_cast<const BYTE*>(&v6);
    return {p, p + sizeof v6};
  }
  return {};
}

// Whether the certificate's subject alternative names hold the address. The
// SSL policy of some systems (Wine's among them) compares only DNS names.
bool HasAddress(const CERT_CONTEXT* cert, const std::vector<BYTE>& address) {
  const CERT_EXTENSION* extension = CertFindExtension(szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension,
                                                      cert->pCertInfo->rgExtension);
  if (!extension) return false;
  Scoped<CERT_ALT_NAME_INFO*, NullTraits<CERT_ALT_NAME_INFO*, LocalFree>> names;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData, extension->Value.cbData,
                           CRYPT_DECODE_ALLOC_FLAG, nullptr, names.Out(), &size)) {
    return false;
  }
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == address.size() &&
            std::memcmp(entry.IPAddress.pbData, address.data(), address.size()) == 0;
  }
  return found;
}

uint32_t PolicyFailure(LONG error) {
  switch (static_cast<uint32_t>(error)) {
    case kTlsWrongHost:
    case kTlsExpired:
    case kTlsUntrustedRoot:
      return static_cast<uint32_t>(error);
    default:
      return kTlsBadChain;
  }
}

// The server's chain against the system's roots plus the PEM file, then its
// name. 0 when acceptable.
uint32_t CheckCertificate(CtxtHandle& context, const std::wstring& host) {
  CertPtr remote;
  if (QueryContextAttributesW(&context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, remote.Out()) != SEC_E_OK || !remote) {
    return kTlsHandshakeFailed;
  }

  static SharedTrust& shared = *new SharedTrust;  // never destroyed: in use until the process ends
  StorePtr extra = shared.Get();
  StorePtr additional(CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
  if (!extra || !additional) return 1;
  // What the server sent beside its own certificate may hold intermediates.
  if (remote->hCertStore) CertAddStoreToCollection(additional.Get(), remote->hCertStore, 0, 0);
  CertAddStoreToCollection(additional.Get(), extra.Get(), 0, 0);

  LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  ChainPtr chain;
  if (!CertGetCertificateChain(nullptr, remote.Get(), nullptr, additional.Get(), &para, 0, nullptr, chain.Out()) ||
      !chain) {
    return kTlsBadChain;
  }

  DWORD errors = chain->TrustStatus.dwErrorStatus;
  bool rootFromFile = false;
  if (chain->cChain > 0 && chain->rgpChain[0]->cElement > 0) {
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    const CERT_CONTEXT* root = simple->rgpElement[simple->cElement - 1]->pCertContext;
    // The file's certificates are trusted as roots, and only as complete ones.
    if ((errors & CERT_TRUST_IS_UNTRUSTED_ROOT) && !(errors & CERT_TRUST_IS_PARTIAL_CHAIN) &&
        InStore(extra.Get(), root)) {
      errors &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
      rootFromFile = true;
    }
  }
  if (errors & CERT_TRUST_IS_PARTIAL_CHAIN) return kTlsBadChain;
  if (errors & CERT_TRUST_IS_UNTRUSTED_ROOT) return kTlsUntrustedRoot;
  if (errors & CERT_TRUST_IS_NOT_TIME_VALID) return kTlsExpired;
  // Revocation is not asked for, so its status is unknown by design.
  errors &= ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
  if (errors != 0) return kTlsBadChain;

  // An address literal is matched here; the policy then checks the rest.
  DWORD ignore = rootFromFile ? 0x00000100 : 0;  // SECURITY_FLAG_IGNORE_UNKNOWN_CA: the root was checked above
  if (std::vector<BYTE> address = AddressBytes(host); !address.empty()) {
    if (!HasAddress(remote.Get(), address)) return kTlsWrongHost;
    ignore |= 0x00001000;  // SECURITY_FLAG_IGNORE_CERT_CN_INVALID
  }
  std::wstring name = host;
  HTTPSPolicyCallbackData https{};
  https.cbStruct = sizeof https;
  https.dwAuthType = AUTHTYPE_SERVER;
  https.fdwChecks = ignore;
  https.pwszServerName = name.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.dwFlags = rootFromFile ? CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG : 0;
  policy.pvExtraPolicyPara = &https;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.Get(), &policy, &status)) return kTlsBadChain;
  return status.dwError == 0 ? 0 : PolicyFailure(status.dwError);
}

class Session {
 public:
  explicit Session(ISocketStream& raw) : raw_(raw) {}
  ~Session() {
    if (haveContext_) DeleteSecurityContext(&context_);
    if (haveCredentials_) FreeCredentialsHandle(&credentials_);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  uint32_t AcquireCredentials() {
    TimeStamp expiry;
    DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    // Newer systems take the protocols as a list of disabled ones; older
    // ones (Windows 7 to early 10) only know the older structure.
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols = ~static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
    SCH_CREDENTIALS current{};
    current.dwVersion = SCH_CREDENTIALS_VERSION;
    current.dwFlags = flags;
    current.cTlsParameters = 1;
    current.pTlsParameters = &parameters;
    SECURITY_STATUS status = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                                       SECPKG_CRED_OUTBOUND, nullptr, &current, nullptr, nullptr,
                                                       &credentials_, &expiry);
    if (status != SEC_E_OK) {
      SCHANNEL_CRED older{};
      older.dwVersion = SCHANNEL_CRED_VERSION;
      older.dwFlags = flags;
      older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
      status = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                         nullptr, &older, nullptr, nullptr, &credentials_, &expiry);
    }
    if (status != SEC_E_OK) return kTlsHandshakeFailed;
    haveCredentials_ = true;
    return 0;
  }

  // The handshake, from the first message or (after SEC_I_RENEGOTIATE) from
  // the bytes already in encrypted_.
  uint32_t Handshake(const std::wstring& host) {
    bool needRead = haveContext_ && encrypted_.empty();  // the first call has nothing to read
    for (;;) {
      if (needRead) {
        if (uint32_t result = Fill(); result != 0) return result;
      }
      // A server that is no TLS server at all (a plain greeting) would have
      // some Schannel builds wait for a record of a made-up length.
      if (!LooksLikeRecord()) return kTlsHandshakeFailed;
      SecBuffer in[2] = {};
      in[0].BufferType = SECBUFFER_TOKEN;
      in[0].pvBuffer = encrypted_.empty() ? nullptr : encrypted_.data();
      in[0].cbBuffer = static_cast<unsigned long>(encrypted_.size());
      in[1].BufferType = SECBUFFER_EMPTY;
      SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
      SecBuffer out[1] = {};
      out[0].BufferType = SECBUFFER_TOKEN;
      SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
      unsigned long got = 0;
      TimeStamp expiry;
      SECURITY_STATUS status = InitializeSecurityContextW(
          &credentials_, haveContext_ ? &context_ : nullptr, const_cast<wchar_t*>(host.c_str()), kRequest, 0, 0,
          haveContext_ ? &inDesc : nullptr, 0, haveContext_ ? nullptr : &context_, &outDesc, &got, &expiry);
      bool first = !haveContext_;
      if (first && !FAILED(status)) haveContext_ = true;

      // Send what Schannel wrote even on failure: an alert tells the server why.
      uint32_t sent = 0;
      if (out[0].pvBuffer) {
        if (out[0].cbBuffer > 0) {
          unsigned int n = 0;
          sent = raw_.SendAll(out[0].pvBuffer, out[0].cbBuffer, &n);
        }
        FreeContextBuffer(out[0].pvBuffer);
      }
      if (status == SEC_E_INCOMPLETE_MESSAGE) {
        needRead = true;
        continue;
      }
      if (FAILED(status)) return kTlsHandshakeFailed;
      if (sent != 0) return sent;
      if (!first) Consume(in[1]);
      if (status == SEC_E_OK) return 0;
      if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
        needRead = false;  // asked for a client certificate: go on without one
        continue;
      }
      if (status != SEC_I_CONTINUE_NEEDED) return kTlsHandshakeFailed;
      needRead = encrypted_.empty();
    }
  }

  uint32_t Prepare() {
    if (QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK) return kTlsHandshakeFailed;
    return sizes_.cbMaximumMessage > 0 ? 0 : kTlsHandshakeFailed;
  }

  uint32_t Send(const char* data, unsigned int size, unsigned int* sent) {
    std::vector<char> record;
    unsigned int done = 0;
    while (done < size) {
      unsigned long part = size - done < sizes_.cbMaximumMessage ? size - done : sizes_.cbMaximumMessage;
      record.resize(sizes_.cbHeader + part + sizes_.cbTrailer);
      std::memcpy(record.data() + sizes_.cbHeader, data + done, part);
      SecBuffer buffers[4] = {};
      buffers[0] = {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()};
      buffers[1] = {part, SECBUFFER_DATA, record.data() + sizes_.cbHeader};
      buffers[2] = {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + part};
      buffers[3] = {0, SECBUFFER_EMPTY, nullptr};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
      if (EncryptMessage(&context_, 0, &desc, 0) != SEC_E_OK) return kTlsHandshakeFailed;
      unsigned int total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
      unsigned int n = 0;
      if (uint32_t result = raw_.SendAll(record.data(), total, &n); result != 0) return result;
      done += part;
      if (sent) *sent = done;
    }
    return 0;
  }

  uint32_t Receive(char* buffer, unsigned int size, unsigned int* received, const std::wstring& host) {
    for (;;) {
      if (plainAt_ < plain_.size()) {
        size_t n = plain_.size() - plainAt_ < size ? plain_.size() - plainAt_ : size;
        std::memcpy(buffer, plain_.data() + plainAt_, n);
        plainAt_ += n;
        if (plainAt_ == plain_.size()) {
          plain_.clear();
          plainAt_ = 0;
        }
        *received = static_cast<unsigned int>(n);
        return 0;
      }
      if (closed_) return 0;
      SECURITY_STATUS status = SEC_E_INCOMPLETE_MESSAGE;
      if (!encrypted_.empty()) {
        SecBuffer buffers[4] = {};
        buffers[0] = {static_cast<unsigned long>(encrypted_.size()), SECBUFFER_DATA, encrypted_.data()};
        for (int i = 1; i < 4; ++i) buffers[i].BufferType = SECBUFFER_EMPTY;
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        status = DecryptMessage(&context_, &desc, 0, nullptr);
        if (status == SEC_E_OK || status == SEC_I_RENEGOTIATE || status == SEC_I_CONTEXT_EXPIRED) {
          SecBuffer extra{};
          for (SecBuffer& b : buffers) {
            // Decrypted in place, so the plain text is copied before the
            // buffer is reused for what follows it.
            if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) {
              auto p = static_cast<const char*>(b.pvBuffer);
              plain_.insert(plain_.end(), p, p + b.cbBuffer);
            }
            if (b.BufferType == SECBUFFER_EXTRA) extra = b;
          }
          Consume(extra);
        }
      }
      if (status == SEC_E_OK) continue;
      if (status == SEC_I_CONTEXT_EXPIRED) {
        closed_ = true;  // the server's close_notify; a closed connection from here on
        continue;
      }
      if (status == SEC_I_RENEGOTIATE) {
        // Post-handshake messages (TLS 1.3 tickets, key updates) go back through the handshake.
        if (uint32_t result = Handshake(host); result != 0) return result;
        continue;
      }
      if (status != SEC_E_INCOMPLETE_MESSAGE) return kTlsHandshakeFailed;
      bool wasClosed = false;
      if (uint32_t result = Fill(&wasClosed); result != 0 || wasClosed) return result;
    }
  }

  CtxtHandle& Context() { return context_; }

 private:
  // Appends the next bytes from the socket to encrypted_. A closed connection
  // gives 1 unless closed is given, which is then set.
  uint32_t Fill(bool* closed = nullptr) {
    size_t old = encrypted_.size();
    encrypted_.resize(old + kReadChunk);
    unsigned int received = 0;
    uint32_t result = raw_.Receive(encrypted_.data() + old, kReadChunk, &received);
    encrypted_.resize(old + (result == 0 ? received : 0));
    if (result != 0) return result;
    if (received == 0) {
      if (closed) *closed = true;
      return closed ? 0 : 1;
    }
    return 0;
  }

  // Content type 20 to 23, protocol major version 3.
  bool LooksLikeRecord() const {
    if (encrypted_.empty()) return true;
    auto type = static_cast<unsigned char>(encrypted_[0]);
    return type >= 20 && type <= 23 && (encrypted_.size() < 2 || encrypted_[1] == 3);
  }

  // Keeps only the unprocessed tail that Schannel reports as extra.
  void Consume(const SecBuffer& extra) {
    if (extra.BufferType == SECBUFFER_EXTRA && extra.cbBuffer > 0 && extra.cbBuffer <= encrypted_.size()) {
      encrypted_.erase(encrypted_.begin(), encrypted_.end() - extra.cbBuffer);
    } else {
      encrypted_.clear();
    }
  }

  ISocketStream& raw_;
  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveCredentials_ = false;
  bool haveContext_ = false;
  bool closed_ = false;
  SecPkgContext_StreamSizes sizes_{};
  std::vector<char> encrypted_;  // received, not yet decrypted
  std::vector<char> plain_;      // decrypted, not yet handed out
  size_t plainAt_ = 0;
};

class SecureStream final : public ISocketStream {
 public:
  SecureStream(std::unique_ptr<Session> session, std::wstring host)
      : session_(std::move(session)), host_(std::move(host)) {}

  uint32_t Send(const void* data, unsigned int size, unsigned int* sent) override {
    if (sent) *sent = 0;
    if (data == nullptr && size != 0) return 1;
    return session_->Send(static_cast<const char*>(data), size, sent);
  }

  uint32_t Receive(void* buffer, unsigned int size, unsigned int* received) override {
    unsigned int ignored = 0;
    if (!received) received = &ignored;
    *received = 0;
    if (buffer == nullptr) return 1;
    if (size == 0) return 0;
    return session_->Receive(static_cast<char*>(buffer), size, received, host_);
  }

 private:
  std::unique_ptr<Session> session_;
  std::wstring host_;
};

}  // namespace

uint32_t StartTls(ISocketStream& raw, const std::string& hostName, std::unique_ptr<ISocketStream>& secure) {
  secure.reset();
  if (hostName.empty()) return 1;  // nothing to check the certificate against
  std::wstring host = Widen(hostName);
  auto session = std::make_unique<Session>(raw);
  if (uint32_t result = session->AcquireCredentials(); result != 0) return result;
  if (uint32_t result = session->Handshake(host); result != 0) return result;
  if (uint32_t result = CheckCertificate(session->Context(), host); result != 0) return result;
  if (uint32_t result = session->Prepare(); result != 0) return result;
  secure = std::make_unique<SecureStream>(std::move(session), std::move(host));
  return 0;
}

}  // namespace Smtp
