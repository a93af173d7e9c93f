#include "device/imobiledevice/pairrecord.h"

#include "device/imobiledevice/plistvariant.h"

#include <QUuid>

#include <openssl/bio.h>
#include <openssl/decoder.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace amd::imd {

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;
using Bio = std::unique_ptr<BIO, decltype(&BIO_free)>;

// What a phone accepts and libimobiledevice makes: ten years.
constexpr long kValiditySeconds = 60L * 60 * 24 * 365 * 10;
// A phone's key is 1024 or 2048 bits; a PEM text of it is well under this.
constexpr qsizetype kMaxPublicKeyPem = 16 * 1024;

Key readPublicKey(const QByteArray &pem)
{
    EVP_PKEY *key = nullptr;
    if (pem.isEmpty() || pem.size() > kMaxPublicKeyPem)
        return Key(nullptr, EVP_PKEY_free);
    // Takes the phone's PKCS#1 "RSA PUBLIC KEY" as well as a plain "PUBLIC KEY".
    OSSL_DECODER_CTX *decoder =
        OSSL_DECODER_CTX_new_for_pkey(&key, "PEM", nullptr, "RSA", EVP_PKEY_PUBLIC_KEY, nullptr, nullptr);
    if (decoder) {
        const auto *data = reinterpret_cast<const unsigned char *>(pem.constData());
        size_t length = size_t(pem.size());
        if (OSSL_DECODER_from_data(decoder, &data, &length) != 1) {
            EVP_PKEY_free(key);
            key = nullptr;
        }
        OSSL_DECODER_CTX_free(decoder);
    }
    return Key(key, EVP_PKEY_free);
}

bool addExtension(X509 *certificate, X509 *issuer, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_nconf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// A certificate for subjectKey, signed by issuerKey (self-signed when issuer
// is null); the extensions are those libimobiledevice's records carry.
Certificate issue(EVP_PKEY *subjectKey, EVP_PKEY *issuerKey, X509 *issuer, bool authority, bool deviceKey)
{
    Certificate certificate(X509_new(), X509_free);
    if (!certificate)
        return certificate;
    X509 *c = certificate.get();
    const bool made = X509_set_version(c, 2) == 1 && ASN1_INTEGER_set(X509_get_serialNumber(c), 0) == 1
                      && X509_gmtime_adj(X509_getm_notBefore(c), 0) && X509_gmtime_adj(X509_getm_notAfter(c), kValiditySeconds)
                      && X509_set_pubkey(c, subjectKey) == 1;
    X509 *signer = issuer ? issuer : c;
    bool extended = made
                    && addExtension(c, signer, NID_basic_constraints, authority ? "critical,CA:TRUE" : "critical,CA:FALSE");
    if (extended && deviceKey)
        extended = addExtension(c, signer, NID_subject_key_identifier, "hash");
    if (extended && !authority)
        extended = addExtension(c, signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    if (!extended || X509_sign(c, issuerKey, EVP_sha256()) <= 0)
        certificate.reset();
    return certificate;
}

QByteArray bioText(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 && data ? QByteArray(data, qsizetype(size)) : QByteArray();
}

QByteArray certificatePem(X509 *certificate)
{
    Bio bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1)
        return {};
    return bioText(bio.get());
}

QByteArray privateKeyPem(EVP_PKEY *key)
{
    Bio bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    return bioText(bio.get());
}

} // namespace

std::optional<PairRecord> makePairRecord(const QByteArray &devicePublicKeyPem, const QByteArray &systemBuid,
                                         QString *why)
{
    auto fail = [why](const char *text) -> std::optional<PairRecord> {
        if (why)
            *why = QString::fromLatin1(text);
        return std::nullopt;
    };
    const Key deviceKey = readPublicKey(devicePublicKeyPem);
    if (!deviceKey)
        return fail("the phone's public key cannot be read");
    const Key rootKey(EVP_RSA_gen(2048), EVP_PKEY_free);
    const Key hostKey(EVP_RSA_gen(2048), EVP_PKEY_free);
    if (!rootKey || !hostKey)
        return fail("no key could be made");

    const Certificate root = issue(rootKey.get(), rootKey.get(), nullptr, true, false);
    if (!root)
        return fail("the root certificate cannot be made");
    const Certificate host = issue(hostKey.get(), rootKey.get(), root.get(), false, false);
    const Certificate device = issue(deviceKey.get(), rootKey.get(), root.get(), false, true);
    if (!host || !device)
        return fail("a certificate cannot be made");

    PairRecord record;
    record.hostId = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toLatin1();
    record.systemBuid = systemBuid;
    record.rootCertificate = certificatePem(root.get());
    record.rootPrivateKey = privateKeyPem(rootKey.get());
    record.hostCertificate = certificatePem(host.get());
    record.hostPrivateKey = privateKeyPem(hostKey.get());
    record.deviceCertificate = certificatePem(device.get());
    if (record.rootCertificate.isEmpty() || record.rootPrivateKey.isEmpty() || record.hostCertificate.isEmpty()
        || record.hostPrivateKey.isEmpty() || record.deviceCertificate.isEmpty())
        return fail("a certificate cannot be written");
    return record;
}

QByteArray pairRecordData(const PairRecord &record, const QByteArray &escrowBag, const QByteArray &wifiAddress)
{
    // The keys libimobiledevice reads back: certificates and keys as data,
    // the two identities as text.
    QVariantMap map{{QStringLiteral("DeviceCertificate"), record.deviceCertificate},
                    {QStringLiteral("HostCertificate"), record.hostCertificate},
                    {QStringLiteral("HostPrivateKey"), record.hostPrivateKey},
                    {QStringLiteral("RootCertificate"), record.rootCertificate},
                    {QStringLiteral("RootPrivateKey"), record.rootPrivateKey},
                    {QStringLiteral("HostID"), QString::fromLatin1(record.hostId)},
                    {QStringLiteral("SystemBUID"), QString::fromLatin1(record.systemBuid)}};
    if (!escrowBag.isEmpty())
        map.insert(QStringLiteral("EscrowBag"), escrowBag);
    if (!wifiAddress.isEmpty())
        map.insert(QStringLiteral("WiFiMACAddress"), QString::fromUtf8(wifiAddress));
    const PlistPtr plist = fromVariant(map);
    char *xml = nullptr;
    uint32_t length = 0;
    if (plist)
        plist_to_xml(plist.get(), &xml, &length);
    QByteArray data = xml && length > 0 ? QByteArray(xml, qsizetype(length)) : QByteArray();
    plist_to_xml_free(xml);
    return data;
}

} // namespace amd::imd
