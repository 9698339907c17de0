#include "TlsTestServer.h"

#include <httplib.h>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <chrono>

namespace {

// A one-hour self-signed certificate for 127.0.0.1 on a P-256 key.
bool MakeSelfSigned(X509*& cert, EVP_PKEY*& key) {
    key = EVP_EC_gen("P-256");
    cert = X509_new();
    if (key == nullptr || cert == nullptr) return false;
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -60);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    return X509_sign(cert, key, EVP_sha256()) > 0;
}

} // namespace

TlsTestServer::TlsTestServer(const std::string& body) {
    X509* cert = nullptr;
    EVP_PKEY* key = nullptr;
    if (MakeSelfSigned(cert, key)) {
        Server_ = new httplib::SSLServer(cert, key);
        if (Server_->is_valid()) {
            Server_->Get(".*", [this, body](const httplib::Request&, httplib::Response& res) {
                ++Served_;
                res.set_content(body, "image/jpeg");
            });
            Port_ = Server_->bind_to_any_port("127.0.0.1");
            Thread_ = std::thread([this] { Server_->listen_after_bind(); });
            while (!Server_->is_running())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // The server context holds its own references.
    if (cert != nullptr) X509_free(cert);
    if (key != nullptr) EVP_PKEY_free(key);
}

TlsTestServer::~TlsTestServer() {
    if (Thread_.joinable()) {
        Server_->stop();
        Thread_.join();
    }
    delete Server_;
}
