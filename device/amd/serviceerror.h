#pragma once

#include <QMetaType>
#include <QtGlobal>
#include <QString>

#include <optional>
#include <utility>

namespace amd {

// What went wrong in a call of the service layer, as a kind the layers above
// can decide on (ask the user to tap Trust, forget a phone that left, say a
// local disk is full) plus what the backend and the phone said about it.
//
// The kind is made once, where the backend's code comes up (fromBackend);
// nothing above compares backend codes. It holds no words of its own: the
// page that shows an error makes its sentence from the kind, and may add the
// detail (the library's or the phone's own text, untrusted).
class ServiceError
{
public:
    enum class Kind : quint8 {
        None,             // no error
        PhoneGone,        // the phone left (or its handle names none)
        NotTrusted,       // pairing failed without the phone saying why
        TrustPending,     // "Trust This Computer?" waits on the phone's screen
        Locked,           // a passcode is set and the phone is locked
        TrustDenied,      // the user chose "Don't Trust"
        Refused,          // the phone said no; detail holds its own status text
        NotFound,         // a path, app or service that does not exist
        LocalFile,        // a file of this computer could not be read or written
        Cancelled,        // the caller stopped it
        Stalled,          // the phone did not answer in time
        InvalidArgument,  // a call the layer should not have made (empty id, bad path)
        Unsupported,      // this phone (or this computer) cannot do it
        BrokenConnection, // the connection broke off or was never there
        BadReply,         // the phone answered something that is not an answer
    };

    ServiceError() = default;
    explicit ServiceError(Kind kind, int backendCode = 0, QString detail = {})
        : m_kind(kind), m_backendCode(backendCode), m_detail(std::move(detail))
    {
    }

    // The kind of a backend code (0: none). Codes of device/devicebackend.h
    // map to their kind; any other code is the library's own, a refusal with
    // the backend's words for it as the detail.
    static ServiceError fromBackend(int code);
    // The phone refused and said why (an install's status, an error string).
    static ServiceError refused(QString phoneText, int backendCode = 0)
    {
        return ServiceError(Kind::Refused, backendCode, std::move(phoneText));
    }

    Kind kind() const { return m_kind; }
    bool ok() const { return m_kind == Kind::None; }
    bool failed() const { return m_kind != Kind::None; }
    bool is(Kind kind) const { return m_kind == kind; }
    // The phone waits on its user, or the user refused (TrustPending, Locked,
    // TrustDenied): each asks something else of the user.
    bool isTrustQuestion() const
    {
        return m_kind == Kind::TrustPending || m_kind == Kind::Locked || m_kind == Kind::TrustDenied;
    }

    // The backend's code this came from (0 when it did not come from one).
    int backendCode() const { return m_backendCode; }
    // For pages that still show a code's words (amd::backendErrorText): the
    // backend's code, 1 for a failure of the layer's own, 0 for none.
    int code() const { return m_backendCode != 0 || ok() ? m_backendCode : 1; }
    // The library's or the phone's own text; empty when there is none.
    const QString &detail() const { return m_detail; }

    bool operator==(const ServiceError &) const = default;

private:
    Kind m_kind = Kind::None;
    int m_backendCode = 0;
    QString m_detail;
};

// A value, or the error that kept it from coming.
template <typename T>
class Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    // A failed error; a call that succeeds gives a value.
    Result(ServiceError error) : m_error(std::move(error)) { Q_ASSERT(m_error.failed()); }

    bool ok() const { return m_value.has_value(); }
    bool has_value() const { return ok(); }
    explicit operator bool() const { return ok(); }

    T &value() { return *m_value; }
    const T &value() const { return *m_value; }
    T &operator*() { return *m_value; }
    const T &operator*() const { return *m_value; }
    T *operator->() { return &*m_value; }
    const T *operator->() const { return &*m_value; }

    // None while ok().
    const ServiceError &error() const { return m_error; }
    friend bool operator==(const Result &result, const T &value) { return result.m_value && *result.m_value == value; }
    std::optional<T> toOptional() const & { return m_value; }
    std::optional<T> toOptional() && { return std::move(m_value); }
    // Callers that only ask "is it there?" keep their std::optional.
    operator std::optional<T>() const & { return m_value; }
    operator std::optional<T>() && { return std::move(m_value); }
    T valueOr(T fallback) const & { return m_value ? *m_value : std::move(fallback); }
    T valueOr(T fallback) && { return m_value ? std::move(*m_value) : std::move(fallback); }

private:
    std::optional<T> m_value;
    ServiceError m_error;
};

} // namespace amd

Q_DECLARE_METATYPE(amd::ServiceError)
