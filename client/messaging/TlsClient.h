#pragma once

#include <gloox/tlsbase.h>
#include <gnutls/gnutls.h>

#include <string>

// The TLS layer of the XMPP connection, on GnuTLS. It replaces gloox's own GnuTLS client,
// which frees its credentials (with the parsed system trust store, megabytes) only to
// allocate them again, so every connection attempt leaked them, and which never receives
// the CA files given to the client.
//
// The server certificate is verified against the system's trust store and the CA files,
// for the server's name (sent as SNI); the result goes to the handler as gloox's
// certificate status (CertOk only when everything holds). TLS 1.3 stays off, as in gloox,
// whose receive path does not expect records after the handshake.
class TlsClient : public gloox::TLSBase {
public:
    TlsClient(gloox::TLSHandler* handler, const std::string& server);
    ~TlsClient() override;
    TlsClient(const TlsClient&) = delete;
    TlsClient& operator=(const TlsClient&) = delete;

    bool init(const std::string& clientKey = gloox::EmptyString,
              const std::string& clientCerts = gloox::EmptyString,
              const gloox::StringList& cacerts = gloox::StringList()) override;
    bool encrypt(const std::string& data) override;
    int decrypt(const std::string& data) override;
    void cleanup() override;
    bool handshake() override;
    void setCACerts(const gloox::StringList& cacerts) override;
    void setClientCert(const std::string&, const std::string&) override {}

private:
    static ssize_t push(gnutls_transport_ptr_t self, const void* data, size_t length);
    static ssize_t pull(gnutls_transport_ptr_t self, void* data, size_t length);
    void release();
    void fillCertInfo();
    void readRecords();

    gnutls_session_t session_ = nullptr;
    gnutls_certificate_credentials_t credentials_ = nullptr;
    gloox::StringList caFiles_;
    std::string received_;  // ciphertext not yet taken by GnuTLS
};
