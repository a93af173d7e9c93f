#pragma once

// One connection from a client to the phone, after usbmuxd's Connect: plain
// bytes, or TLS with the phone as server while a lockdown session runs.

#include "tools/standin/standinservice.h"

#include <QByteArray>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct x509_st X509;

namespace standin {

class Channel : public ServiceStream
{
public:
    // fd stays the caller's.
    explicit Channel(int fd);
    ~Channel() override;
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;

    bool readExact(char *buffer, std::size_t size) override;
    bool writeAll(const char *data, std::size_t size) override;

    // Lockdown's framing: a 4-byte big-endian length, then the body.
    // False when the connection ends, or the length is 0 or over maxBytes.
    bool readMessage(QByteArray *body, quint32 maxBytes);
    bool writeMessage(const QByteArray &body);

    // The server side of a TLS handshake on this connection; false (and
    // plain again) when it fails.
    bool startTls(SSL_CTX *context);
    bool isTls() const { return m_ssl != nullptr; }
    // The certificate the client showed (the channel keeps it).
    X509 *peerCertificate() const;
    // Back to plain bytes after StopSession: the client's close_notify, if it
    // sends one, is taken first; the phone sends none (the client has
    // already gone back to plain bytes and would read it as a message).
    bool stopTls();

private:
    int m_fd;
    SSL *m_ssl = nullptr;
    X509 *m_peer = nullptr;
};

} // namespace standin
