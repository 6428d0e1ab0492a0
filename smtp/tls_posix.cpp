#include "smtp/tls.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <mutex>
#include <vector>

// OpenSSL works on memory BIOs and never touches the descriptor: every byte
// goes through raw.Send / raw.Receive, so the socket's time-out and cancel
// event keep ruling each wait.

namespace Smtp {
namespace {

struct CtxFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
using CtxPtr = std::unique_ptr<SSL_CTX, CtxFree>;
using SslPtr = std::unique_ptr<SSL, SslFree>;

constexpr unsigned int kChunk = 16 * 1024;

uint32_t VerifyFailure(long verify) {
  switch (verify) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return kTlsExpired;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return kTlsWrongHost;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
      return kTlsUntrustedRoot;
    default:
      return kTlsBadChain;
  }
}

// The one client context of the process: parsing the system's certificate
// bundle costs more than a whole handshake, so it happens once. The trust is
// the system store (its bundle file, and its directory, looked up lazily) plus
// the PEM file named by SSL_CERT_FILE, which OpenSSL's defaults would take
// instead of the bundle. A context is built for each value of SSL_CERT_FILE
// the first time a connection sees it; the process normally has one.
struct SharedContext {
  std::mutex lock;
  std::string certFile;  // the SSL_CERT_FILE that ctx was built with
  CtxPtr ctx;
};

CtxPtr NewContext(const std::string& certFile) {
  CtxPtr ctx(SSL_CTX_new(TLS_client_method()));
  if (!ctx) return ctx;
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_default_verify_dir(ctx.get());
  const char* bundle = X509_get_default_cert_file();
  SSL_CTX_load_verify_locations(ctx.get(), bundle, nullptr);
  if (!certFile.empty() && certFile != bundle) SSL_CTX_load_verify_locations(ctx.get(), certFile.c_str(), nullptr);
  ERR_clear_error();  // a missing file above is not a failure of the handshake
  return ctx;
}

// A reference of the caller's own: a context replaced meanwhile lives on
// until its last connection ends.
CtxPtr ClientContext() {
  // Never destroyed: OpenSSL's own clean-up at exit may already have run.
  static SharedContext& shared = *new SharedContext;
  const char* variable = std::getenv("SSL_CERT_FILE");
  std::string certFile = variable ? variable : "";
  std::lock_guard<std::mutex> hold(shared.lock);
  if (!shared.ctx || shared.certFile != certFile) {
    CtxPtr made = NewContext(certFile);
    if (!made) return made;
    shared.ctx = std::move(made);
    shared.certFile = certFile;
  }
  SSL_CTX_up_ref(shared.ctx.get());
  return CtxPtr(shared.ctx.get());
}

class Session {
 public:
  Session(ISocketStream& raw, SslPtr ssl) : raw_(raw), ssl_(std::move(ssl)) {
    in_ = BIO_new(BIO_s_mem());
    out_ = BIO_new(BIO_s_mem());
    if (in_ && out_) {
      BIO_set_mem_eof_return(in_, -1);  // empty means "wait for more", not end of stream
      SSL_set_bio(ssl_.get(), in_, out_);
    } else {
      BIO_free(in_);
      BIO_free(out_);
      in_ = out_ = nullptr;
    }
  }
  bool IsValid() const { return in_ != nullptr; }
  SSL* Ssl() const { return ssl_.get(); }

  // Sends whatever OpenSSL has produced.
  uint32_t Flush() {
    char* data = nullptr;
    long pending = BIO_get_mem_data(out_, &data);
    if (pending <= 0) return 0;
    unsigned int sent = 0;
    uint32_t result = raw_.SendAll(data, static_cast<unsigned int>(pending), &sent);
    (void)BIO_reset(out_);
    return result;
  }

  // Feeds OpenSSL the next bytes from the socket. A closed connection gives
  // 0 with closed set.
  uint32_t Fill(bool& closed) {
    closed = false;
    std::vector<char> buffer(kChunk);
    unsigned int received = 0;
    if (uint32_t result = raw_.Receive(buffer.data(), kChunk, &received); result != 0) return result;
    if (received == 0) {
      closed = true;
      return 0;
    }
    if (BIO_write(in_, buffer.data(), static_cast<int>(received)) != static_cast<int>(received)) return 1;
    return 0;
  }

 private:
  ISocketStream& raw_;
  SslPtr ssl_;
  BIO* in_ = nullptr;   // owned by ssl_ once set
  BIO* out_ = nullptr;  // likewise
};

class SecureStream final : public ISocketStream {
 public:
  explicit SecureStream(std::unique_ptr<Session> session) : session_(std::move(session)) {}

  uint32_t Send(const void* data, unsigned int size, unsigned int* sent) override {
    if (sent) *sent = 0;
    if (data == nullptr && size != 0) return 1;
    auto bytes = static_cast<const char*>(data);
    unsigned int done = 0;
    while (done < size) {
      unsigned int part = size - done < kChunk ? size - done : kChunk;
      int n = SSL_write(session_->Ssl(), bytes + done, static_cast<int>(part));
      if (n <= 0) {
        ERR_clear_error();
        return kTlsHandshakeFailed;
      }
      if (uint32_t result = session_->Flush(); result != 0) return result;
      done += static_cast<unsigned int>(n);
      if (sent) *sent = done;
    }
    return 0;
  }

  uint32_t Receive(void* buffer, unsigned int size, unsigned int* received) override {
    if (received) *received = 0;
    if (buffer == nullptr) return 1;
    if (size == 0) return 0;
    int want = size > static_cast<unsigned int>(INT32_MAX) ? INT32_MAX : static_cast<int>(size);
    for (;;) {
      int n = SSL_read(session_->Ssl(), buffer, want);
      // Post-handshake messages may need an answer (a key update).
      uint32_t flushed = session_->Flush();
      if (n > 0) {
        if (received) *received = static_cast<unsigned int>(n);
        return flushed;
      }
      int error = SSL_get_error(session_->Ssl(), n);
      if (error == SSL_ERROR_ZERO_RETURN) return 0;  // the peer's close_notify: a closed connection
      if (error != SSL_ERROR_WANT_READ) {
        ERR_clear_error();
        return kTlsHandshakeFailed;
      }
      if (flushed != 0) return flushed;
      bool closed = false;
      if (uint32_t result = session_->Fill(closed); result != 0 || closed) return result;
    }
  }

 private:
  std::unique_ptr<Session> session_;
};

uint32_t Handshake(Session& session) {
  for (;;) {
    int r = SSL_do_handshake(session.Ssl());
    int error = r == 1 ? SSL_ERROR_NONE : SSL_get_error(session.Ssl(), r);
    // Send what OpenSSL wrote even on failure: the alert tells the server why.
    uint32_t flushed = session.Flush();
    if (r == 1) return flushed;
    if (error == SSL_ERROR_WANT_READ) {
      if (flushed != 0) return flushed;
      bool closed = false;
      if (uint32_t result = session.Fill(closed); result != 0) return result;
      if (closed) return 1;
      continue;
    }
    ERR_clear_error();
    long verify = SSL_get_verify_result(session.Ssl());
    return verify != X509_V_OK ? VerifyFailure(verify) : kTlsHandshakeFailed;
  }
}

}  // namespace

uint32_t StartTls(ISocketStream& raw, const std::string& hostName, std::unique_ptr<ISocketStream>& secure) {
  secure.reset();
  if (hostName.empty()) return 1;  // nothing to check the certificate against
  CtxPtr ctx = ClientContext();
  if (!ctx) return 1;
  SslPtr ssl(SSL_new(ctx.get()));
  if (!ssl) return 1;
  SSL_set_connect_state(ssl.get());
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl.get());
  // An address literal is checked against the certificate's IP entries and
  // gets no SNI (the extension carries host names only).
  if (X509_VERIFY_PARAM_set1_ip_asc(param, hostName.c_str()) != 1) {
    ERR_clear_error();
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (SSL_set1_host(ssl.get(), hostName.c_str()) != 1 ||
        SSL_set_tlsext_host_name(ssl.get(), hostName.c_str()) != 1) {
      ERR_clear_error();
      return 1;
    }
  }

  auto session = std::make_unique<Session>(raw, std::move(ssl));
  if (!session->IsValid()) return 1;
  if (uint32_t result = Handshake(*session); result != 0) return result;
  secure = std::make_unique<SecureStream>(std::move(session));
  return 0;
}

}  // namespace Smtp
