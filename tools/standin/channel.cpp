#include "tools/standin/channel.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <climits>

#include <sys/socket.h>

namespace standin {

namespace {

// The first byte of a TLS record that may carry the client's close_notify:
// an alert (TLS 1.2 and older) or an encrypted record (TLS 1.3). A plain
// lockdown message starts with the top byte of its length, which is 0 for
// any message the phone takes.
bool startsTlsRecord(unsigned char byte)
{
    return byte == 0x15 || byte == 0x17;
}

} // namespace

Channel::Channel(int fd)
    : m_fd(fd)
{
}

Channel::~Channel()
{
    X509_free(m_peer);
    SSL_free(m_ssl);
}

bool Channel::readExact(char *buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const std::size_t piece = std::min<std::size_t>(size - done, INT_MAX);
        if (m_ssl) {
            const int got = SSL_read(m_ssl, buffer + done, int(piece));
            if (got <= 0) {
                ERR_clear_error();
                return false;
            }
            done += std::size_t(got);
        } else {
            const ssize_t got = ::recv(m_fd, buffer + done, piece, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            done += std::size_t(got);
        }
    }
    return true;
}

bool Channel::writeAll(const char *data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const std::size_t piece = std::min<std::size_t>(size - done, INT_MAX);
        if (m_ssl) {
            const int sent = SSL_write(m_ssl, data + done, int(piece));
            if (sent <= 0) {
                ERR_clear_error();
                return false;
            }
            done += std::size_t(sent);
        } else {
            const ssize_t sent = ::send(m_fd, data + done, piece, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return false;
            done += std::size_t(sent);
        }
    }
    return true;
}

bool Channel::readMessage(QByteArray *body, quint32 maxBytes)
{
    unsigned char prefix[4];
    if (!readExact(reinterpret_cast<char *>(prefix), sizeof prefix))
        return false;
    const quint32 length = quint32(prefix[0]) << 24 | quint32(prefix[1]) << 16 | quint32(prefix[2]) << 8 | prefix[3];
    if (length == 0 || length > maxBytes)
        return false;
    body->resize(qsizetype(length));
    return readExact(body->data(), length);
}

bool Channel::writeMessage(const QByteArray &body)
{
    const quint32 length = quint32(body.size());
    QByteArray framed;
    framed.reserve(body.size() + 4);
    framed.append(char(length >> 24)).append(char(length >> 16)).append(char(length >> 8)).append(char(length));
    framed.append(body);
    return writeAll(framed.constData(), std::size_t(framed.size()));
}

bool Channel::startTls(SSL_CTX *context)
{
    SSL *ssl = SSL_new(context);
    if (!ssl || SSL_set_fd(ssl, m_fd) != 1 || SSL_accept(ssl) != 1) {
        SSL_free(ssl);
        ERR_clear_error();
        return false;
    }
    m_ssl = ssl;
    X509_free(m_peer);
    m_peer = SSL_get1_peer_certificate(ssl);
    return true;
}

X509 *Channel::peerCertificate() const
{
    return m_peer;
}

bool Channel::stopTls()
{
    if (!m_ssl)
        return true;
    unsigned char first = 0;
    ssize_t peeked;
    do {
        peeked = ::recv(m_fd, &first, 1, MSG_PEEK);
    } while (peeked < 0 && errno == EINTR);
    bool ok = peeked >= 0;
    if (peeked == 1 && startsTlsRecord(first)) {
        char ignored;
        // The alert ends the read with 0; application data here is a client
        // that did not stop.
        const int got = SSL_read(m_ssl, &ignored, 1);
        ok = got == 0 && SSL_get_error(m_ssl, got) == SSL_ERROR_ZERO_RETURN;
        ERR_clear_error();
    }
    SSL_free(m_ssl);
    m_ssl = nullptr;
    return ok;
}

} // namespace standin
