#include "client/messaging/TlsClient.h"

#include <gnutls/x509.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "kestra/Log.h"

namespace {

constexpr const char* PRIORITIES = "NORMAL:-VERS-TLS1.3";

int certStatus(unsigned int verify) {
    if (verify == 0)
        return gloox::CertOk;
    int status = gloox::CertInvalid;
    if (verify & GNUTLS_CERT_SIGNER_NOT_FOUND)
        status |= gloox::CertSignerUnknown;
    if (verify & GNUTLS_CERT_REVOKED)
        status |= gloox::CertRevoked;
    if (verify & GNUTLS_CERT_EXPIRED)
        status |= gloox::CertExpired;
    if (verify & GNUTLS_CERT_NOT_ACTIVATED)
        status |= gloox::CertNotActive;
    if (verify & GNUTLS_CERT_UNEXPECTED_OWNER)
        status |= gloox::CertWrongPeer;
    if (verify & GNUTLS_CERT_SIGNER_NOT_CA)
        status |= gloox::CertSignerNotCa;
    return status;
}

std::string text(const char* s) {
    return s ? s : "";
}

}  // namespace

TlsClient::TlsClient(gloox::TLSHandler* handler, const std::string& server)
    : TLSBase(handler, server) {}

TlsClient::~TlsClient() {
    release();
}

void TlsClient::release() {
    if (session_)
        gnutls_deinit(session_);
    if (credentials_)
        gnutls_certificate_free_credentials(credentials_);
    session_ = nullptr;
    credentials_ = nullptr;
    received_.clear();
    m_secure = false;
    m_valid = false;
}

bool TlsClient::init(const std::string&, const std::string&, const gloox::StringList& cacerts) {
    release();
    if (!cacerts.empty())
        caFiles_ = cacerts;
    if (gnutls_certificate_allocate_credentials(&credentials_) != GNUTLS_E_SUCCESS)
        return false;
    if (gnutls_certificate_set_x509_system_trust(credentials_) < 0) {
        kestra::Log::warning("TlsClient: the system's trusted certificates cannot be read.");
    }
    for (const std::string& file : caFiles_) {
        if (gnutls_certificate_set_x509_trust_file(credentials_, file.c_str(),
                                                   GNUTLS_X509_FMT_PEM) <= 0) {
            kestra::Log::error("TlsClient: no CA certificate could be read from " + file + ".");
        }
    }
    if (gnutls_init(&session_, GNUTLS_CLIENT) != GNUTLS_E_SUCCESS ||
        gnutls_priority_set_direct(session_, PRIORITIES, nullptr) != GNUTLS_E_SUCCESS ||
        gnutls_credentials_set(session_, GNUTLS_CRD_CERTIFICATE, credentials_) !=
            GNUTLS_E_SUCCESS) {
        release();
        return false;
    }
    gnutls_server_name_set(session_, GNUTLS_NAME_DNS, m_server.data(), m_server.size());
    gnutls_transport_set_ptr(session_, this);
    gnutls_transport_set_push_function(session_, &TlsClient::push);
    gnutls_transport_set_pull_function(session_, &TlsClient::pull);
    m_valid = true;
    return true;
}

void TlsClient::setCACerts(const gloox::StringList& cacerts) {
    caFiles_ = cacerts;
    if (!credentials_)
        return;
    for (const std::string& file : caFiles_) {
        gnutls_certificate_set_x509_trust_file(credentials_, file.c_str(), GNUTLS_X509_FMT_PEM);
    }
}

// Ciphertext for the server goes to the connection through the handler.
ssize_t TlsClient::push(gnutls_transport_ptr_t self, const void* data, size_t length) {
    auto* tls = static_cast<TlsClient*>(self);
    tls->m_handler->handleEncryptedData(tls, std::string(static_cast<const char*>(data), length));
    return static_cast<ssize_t>(length);
}

// Ciphertext from the server, as far as the connection has delivered it.
ssize_t TlsClient::pull(gnutls_transport_ptr_t self, void* data, size_t length) {
    auto* tls = static_cast<TlsClient*>(self);
    const size_t count = std::min(length, tls->received_.size());
    if (count == 0) {
        gnutls_transport_set_errno(tls->session_, EAGAIN);
        return -1;
    }
    std::memcpy(data, tls->received_.data(), count);
    tls->received_.erase(0, count);
    return static_cast<ssize_t>(count);
}

bool TlsClient::handshake() {
    if (!m_valid)
        return false;
    const int result = gnutls_handshake(session_);
    if (result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED)
        return true;
    if (result < 0 && gnutls_error_is_fatal(result)) {
        kestra::Log::error("TlsClient: the TLS handshake with " + m_server +
                           " failed: " + text(gnutls_strerror(result)));
        m_valid = false;
        m_certInfo.status = gloox::CertInvalid;
        m_handler->handleHandshakeResult(this, false, m_certInfo);
        return false;
    }
    if (result < 0)
        return true;  // a warning alert; the handshake goes on
    m_secure = true;
    fillCertInfo();
    m_handler->handleHandshakeResult(this, true, m_certInfo);
    return true;
}

void TlsClient::fillCertInfo() {
    unsigned int verify = 0;
    if (gnutls_certificate_verify_peers3(session_, m_server.c_str(), &verify) < 0) {
        verify = GNUTLS_CERT_INVALID;
    }
    m_certInfo = gloox::CertInfo();
    m_certInfo.status = certStatus(verify);
    m_certInfo.chain = verify == 0;
    m_certInfo.server = m_server;
    m_certInfo.protocol = text(gnutls_protocol_get_name(gnutls_protocol_get_version(session_)));
    m_certInfo.cipher = text(gnutls_cipher_get_name(gnutls_cipher_get(session_)));
    m_certInfo.mac = text(gnutls_mac_get_name(gnutls_mac_get(session_)));
    m_certInfo.compression = "NULL";
    unsigned int count = 0;
    const gnutls_datum_t* certs = gnutls_certificate_get_peers(session_, &count);
    gnutls_x509_crt_t cert;
    if (count == 0 || gnutls_x509_crt_init(&cert) < 0)
        return;
    if (gnutls_x509_crt_import(cert, &certs[0], GNUTLS_X509_FMT_DER) == GNUTLS_E_SUCCESS) {
        char name[512];
        size_t size = sizeof(name);
        if (gnutls_x509_crt_get_issuer_dn(cert, name, &size) == GNUTLS_E_SUCCESS)
            m_certInfo.issuer = name;
        m_certInfo.date_from = static_cast<int>(gnutls_x509_crt_get_activation_time(cert));
        m_certInfo.date_to = static_cast<int>(gnutls_x509_crt_get_expiration_time(cert));
    }
    gnutls_x509_crt_deinit(cert);
}

bool TlsClient::encrypt(const std::string& data) {
    if (!m_valid)
        return false;
    if (!m_secure) {
        handshake();
        return true;
    }
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t result = gnutls_record_send(session_, data.data() + sent, data.size() - sent);
        if (result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED)
            continue;
        if (result < 0)
            return false;
        sent += static_cast<size_t>(result);
    }
    return true;
}

int TlsClient::decrypt(const std::string& data) {
    if (!m_valid)
        return 0;
    received_ += data;
    if (!m_secure) {
        handshake();
    } else {
        readRecords();
    }
    return static_cast<int>(data.size());
}

void TlsClient::readRecords() {
    char buffer[8192];
    for (;;) {
        const ssize_t result = gnutls_record_recv(session_, buffer, sizeof(buffer));
        if (result > 0) {
            m_handler->handleDecryptedData(this, std::string(buffer, static_cast<size_t>(result)));
            continue;
        }
        // GNUTLS_E_AGAIN: the rest of the record has not arrived yet. 0: the server closed
        // the TLS session; the stream end follows from the connection.
        if (result < 0 && result != GNUTLS_E_AGAIN && result != GNUTLS_E_INTERRUPTED &&
            gnutls_error_is_fatal(static_cast<int>(result))) {
            kestra::Log::warning("TlsClient: " + text(gnutls_strerror(static_cast<int>(result))));
        }
        if (result != GNUTLS_E_INTERRUPTED)
            return;
    }
}

void TlsClient::cleanup() {
    if (session_ && m_secure)
        gnutls_bye(session_, GNUTLS_SHUT_WR);
    release();
    init();
}
