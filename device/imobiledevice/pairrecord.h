#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The pair record this computer offers a phone that does not trust it yet.
//
// libimobiledevice 1.3.0 makes a new record (a new HostID, new keys) every
// time lockdownd_pair() is called without one, so a phone that answers
// "waiting for the user" is shown a new computer at every retry and the
// user's tap never applies to the record that is then offered. The record is
// therefore made here once per phone and offered as it is until the phone
// trusts it; only then is it kept by usbmuxd, which from then on holds the
// one record of this computer for the phone.
namespace amd::imd {

struct PairRecord
{
    QByteArray hostId;            // an upper-case UUID
    QByteArray systemBuid;        // usbmuxd's identity of this computer
    QByteArray rootCertificate;   // PEM, a certificate authority of our own
    QByteArray rootPrivateKey;    // PEM
    QByteArray hostCertificate;   // PEM, issued by the root
    QByteArray hostPrivateKey;    // PEM
    QByteArray deviceCertificate; // PEM, for the phone's own public key, issued by the root
};

// Keys and certificates for the phone whose "DevicePublicKey" (PEM, PKCS#1
// or SubjectPublicKeyInfo) is given; nothing, with why, when the key cannot
// be read or a certificate cannot be made.
std::optional<PairRecord> makePairRecord(const QByteArray &devicePublicKeyPem, const QByteArray &systemBuid,
                                         QString *why);

// The record as usbmuxd keeps it (an XML property list), with what the phone
// answered the pairing with (its escrow bag) and its Wi-Fi address when known.
QByteArray pairRecordData(const PairRecord &record, const QByteArray &escrowBag, const QByteArray &wifiAddress);

} // namespace amd::imd
