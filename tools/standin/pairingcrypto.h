#pragma once

// The keys and certificates of pairing, and the TLS of a lockdown session.
//
// A phone has one RSA key pair; it hands the public half out as
// "DevicePublicKey" (PKCS#1 PEM) and the computer that pairs issues it a
// device certificate for that key, signed by the computer's own root
// certificate. In a session the phone is the TLS server with that device
// certificate; the computer shows its root (or host) certificate.

#include "tools/standin/standinphone.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <memory>

typedef struct evp_pkey_st EVP_PKEY;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct x509_st X509;

namespace standin::crypto {

using Key = std::shared_ptr<EVP_PKEY>;

struct SslContextDeleter
{
    void operator()(SSL_CTX *context) const;
};
using SslContext = std::unique_ptr<SSL_CTX, SslContextDeleter>;

// A new RSA key of 2048 bits; null when the library fails.
Key generateKey();
// The key of the phone of that UDID: one per UDID for the whole process, as
// a phone keeps its key for life (and making one takes a good part of a
// second).
Key phoneKey(const QString &udid);

QByteArray publicKeyPem(const Key &key);   // "RSA PUBLIC KEY" (PKCS#1)
QByteArray privateKeyPem(const Key &key);

// A certificate for subject's public key signed with issuer's key (the same
// key: self-signed), PEM; empty on failure.
QByteArray issueCertificate(const Key &subject, const Key &issuer, bool authority, long serial);

// A whole pair record as a computer keeps it for the phone whose key is
// phoneKey: certificates, private keys, HostID, SystemBUID, EscrowBag.
QVariantMap makePairRecord(const Key &phoneKey, const QString &systemBuid, const QString &wifiAddress);

// The TLS server of a session: the device certificate the computer issued,
// with the phone's key (which must match it); versions from minimum up to
// TLS 1.2, or 1.3 when that is the minimum. Null with error set otherwise.
SslContext serverContext(const QByteArray &certificatePem, const Key &key, TlsVersion minimum, QString *error);

// True when certificate is the one in pem.
bool sameCertificate(X509 *certificate, const QByteArray &pem);

// An upper-case UUID, as lockdown's HostIDs and SessionIDs are.
QString newUuid();
QByteArray randomBytes(int count);

} // namespace standin::crypto
