#include "tools/standin/pairingcrypto.h"

#include <QHash>
#include <QUuid>

#include <openssl/bio.h>
#include <openssl/encoder.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <mutex>

namespace standin::crypto {

namespace {

struct BioDeleter
{
    void operator()(BIO *bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioDeleter>;

struct X509Deleter
{
    void operator()(X509 *certificate) const { X509_free(certificate); }
};
using Certificate = std::unique_ptr<X509, X509Deleter>;

QByteArray bioBytes(BIO *bio)
{
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return length > 0 ? QByteArray(data, qsizetype(length)) : QByteArray();
}

Certificate readCertificate(const QByteArray &pem)
{
    Bio bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    return Certificate(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

bool addExtension(X509 *certificate, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

int protocolVersion(TlsVersion version)
{
    switch (version) {
    case TlsVersion::Tls10:
        return TLS1_VERSION;
    case TlsVersion::Tls11:
        return TLS1_1_VERSION;
    case TlsVersion::Tls12:
        return TLS1_2_VERSION;
    case TlsVersion::Tls13:
        return TLS1_3_VERSION;
    }
    return TLS1_2_VERSION;
}

QString openSslError()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return QStringLiteral("unknown TLS library error");
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace

void SslContextDeleter::operator()(SSL_CTX *context) const
{
    SSL_CTX_free(context);
}

Key generateKey()
{
    return Key(EVP_RSA_gen(2048), EVP_PKEY_free);
}

Key phoneKey(const QString &udid)
{
    static std::mutex mutex;
    static QHash<QString, Key> keys;
    std::lock_guard lock(mutex);
    Key &key = keys[udid];
    if (!key)
        key = generateKey();
    return key;
}

QByteArray publicKeyPem(const Key &key)
{
    Bio bio(BIO_new(BIO_s_mem()));
    // "type-specific" is PKCS#1 for RSA: what libimobiledevice's
    // PEM_read_bio_RSAPublicKey() expects of DevicePublicKey.
    OSSL_ENCODER_CTX *encoder =
        OSSL_ENCODER_CTX_new_for_pkey(key.get(), EVP_PKEY_PUBLIC_KEY, "PEM", "type-specific", nullptr);
    const bool written = bio && encoder && OSSL_ENCODER_to_bio(encoder, bio.get()) == 1;
    OSSL_ENCODER_CTX_free(encoder);
    return written ? bioBytes(bio.get()) : QByteArray();
}

QByteArray privateKeyPem(const Key &key)
{
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    return bioBytes(bio.get());
}

QByteArray issueCertificate(const Key &subject, const Key &issuer, bool authority, long serial)
{
    Certificate certificate(X509_new());
    if (!certificate || !subject || !issuer)
        return {};
    X509 *c = certificate.get();
    constexpr long kTenYears = 60L * 60 * 24 * 365 * 10;
    bool made = X509_set_version(c, 2) == 1 && ASN1_INTEGER_set(X509_get_serialNumber(c), serial) == 1
                && X509_gmtime_adj(X509_getm_notBefore(c), 0) && X509_gmtime_adj(X509_getm_notAfter(c), kTenYears)
                && X509_set_pubkey(c, subject.get()) == 1;
    made = made
           && addExtension(c, NID_basic_constraints, authority ? "critical,CA:TRUE" : "critical,CA:FALSE")
           && (authority || addExtension(c, NID_key_usage, "critical,digitalSignature,keyEncipherment"))
           && X509_sign(c, issuer.get(), EVP_sha256()) > 0;
    if (!made)
        return {};
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), c) != 1)
        return {};
    return bioBytes(bio.get());
}

QVariantMap makePairRecord(const Key &phoneKey, const QString &systemBuid, const QString &wifiAddress)
{
    // The computer's keys are the same for every record the process makes:
    // a new computer per record would only cost time.
    static std::once_flag once;
    static Key rootKey;
    static Key hostKey;
    std::call_once(once, [] {
        rootKey = generateKey();
        hostKey = generateKey();
    });
    const QByteArray root = issueCertificate(rootKey, rootKey, true, 0);
    const QByteArray host = issueCertificate(hostKey, rootKey, false, 0);
    const QByteArray device = issueCertificate(phoneKey, rootKey, false, 0);
    if (root.isEmpty() || host.isEmpty() || device.isEmpty())
        return {};
    return {
        {QStringLiteral("DeviceCertificate"), device},
        {QStringLiteral("HostCertificate"), host},
        {QStringLiteral("HostPrivateKey"), privateKeyPem(hostKey)},
        {QStringLiteral("RootCertificate"), root},
        {QStringLiteral("RootPrivateKey"), privateKeyPem(rootKey)},
        {QStringLiteral("HostID"), newUuid()},
        {QStringLiteral("SystemBUID"), systemBuid},
        {QStringLiteral("EscrowBag"), randomBytes(32)},
        {QStringLiteral("WiFiMACAddress"), wifiAddress},
    };
}

SslContext serverContext(const QByteArray &certificatePem, const Key &key, TlsVersion minimum, QString *error)
{
    auto fail = [error](const QString &why) {
        *error = why;
        return SslContext();
    };
    SslContext context(SSL_CTX_new(TLS_server_method()));
    if (!context)
        return fail(openSslError());
    SSL_CTX *c = context.get();
    // Pairing certificates are what the computer made them (libimobiledevice
    // signs with SHA-1), and TLS 1.0 needs the old digests: a phone takes them.
    SSL_CTX_set_security_level(c, 0);
    const int lowest = protocolVersion(minimum);
    const int highest = minimum == TlsVersion::Tls13 ? TLS1_3_VERSION : TLS1_2_VERSION;
    if (SSL_CTX_set_min_proto_version(c, lowest) != 1 || SSL_CTX_set_max_proto_version(c, highest) != 1)
        return fail(openSslError());
    const Certificate certificate = readCertificate(certificatePem);
    if (!certificate)
        return fail(QStringLiteral("the device certificate of the pair record cannot be read"));
    if (SSL_CTX_use_certificate(c, certificate.get()) != 1 || SSL_CTX_use_PrivateKey(c, key.get()) != 1
        || SSL_CTX_check_private_key(c) != 1)
        return fail(QStringLiteral("the device certificate is not for this phone's key: ") + openSslError());
    // The computer must show a certificate; which one is checked after the
    // handshake, against the pair record.
    SSL_CTX_set_verify(c, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, [](int, X509_STORE_CTX *) { return 1; });
    return context;
}

bool sameCertificate(X509 *certificate, const QByteArray &pem)
{
    const Certificate other = readCertificate(pem);
    return certificate && other && X509_cmp(certificate, other.get()) == 0;
}

QString newUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(bytes.data()), count) != 1)
        return {};
    return bytes;
}

} // namespace standin::crypto
