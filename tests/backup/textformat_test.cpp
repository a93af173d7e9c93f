#include "backup/textformat.h"
#include "backup/messageextractor.h"
#include "backup/phonelookup.h"

#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

#include <QScopeGuard>

#include <clocale>
#include <cstdio>
#include <ctime>
#include <limits>
#include <random>

using namespace TextFormat;

TEST(TextFormat, SizeTextAndBack)
{
    EXPECT_EQ(sizeText(0), QStringLiteral("0.00bytes"));
    EXPECT_EQ(sizeText(999), QStringLiteral("999.00bytes"));
    EXPECT_EQ(sizeText(1000), QStringLiteral("1.00KB"));
    EXPECT_EQ(sizeText(999999), QStringLiteral("1000.00KB"));
    EXPECT_EQ(sizeText(1500000), QStringLiteral("1.50MB"));
    EXPECT_EQ(sizeText(2500000000ull), QStringLiteral("2.50GB"));
    EXPECT_EQ(sizeText(3000000000000ull), QStringLiteral("3.00TB"));
    char buffer[100];
    EXPECT_STREQ(size_to_unit(1500000, buffer), "1.50MB");

    EXPECT_EQ(sizeFormString(QStringLiteral("1.50MB")), 1500000u);
    EXPECT_EQ(sizeFormString(QStringLiteral("512.00bytes")), 512u);
    EXPECT_EQ(sizeFormString(QStringLiteral("2.00KB")), 2000u);
    EXPECT_EQ(sizeFormString(QStringLiteral("12")), 0u);
    EXPECT_EQ(sizeFormString(QString()), 0u);
    EXPECT_EQ(sizeFormString(QStringLiteral("junkKB")), 0u);
}

// Under a German user's locale C's own number formatting writes a decimal
// comma; the size texts keep their point, and are read back. The locale comes
// from scripts/install-deps.sh: without it this fails rather than skips, so a
// machine that lacks it cannot pass the check by accident.
TEST(TextFormat, NumbersIgnoreTheUserLocale)
{
    const char *old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    const auto restore = qScopeGuard([&saved] { std::setlocale(LC_NUMERIC, saved.c_str()); });
    const char *german = nullptr;
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            german = name;
            break;
        }
    }
    ASSERT_NE(german, nullptr) << "no de_DE.UTF-8 locale: run scripts/install-deps.sh";
    // The locale is in force: C formats with a comma now.
    char formatted[16];
    std::snprintf(formatted, sizeof formatted, "%.2f", 1.5);
    ASSERT_STREQ(formatted, "1,50");

    EXPECT_EQ(sizeText(1500000), QStringLiteral("1.50MB"));
    EXPECT_EQ(sizeText(2500), QStringLiteral("2.50KB"));
    EXPECT_EQ(sizeFormString(QStringLiteral("1.50MB")), 1500000u);
    EXPECT_EQ(sizeFormString(QStringLiteral("2.50KB")), 2500u);
}

TEST(TextFormat, DurationAndClockTexts)
{
    EXPECT_EQ(getCallHistoryDuration(0), QStringLiteral("0 second"));
    EXPECT_EQ(getCallHistoryDuration(1), QStringLiteral("1 second"));
    EXPECT_EQ(getCallHistoryDuration(59), QStringLiteral("59 seconds"));
    EXPECT_EQ(getCallHistoryDuration(61), QStringLiteral("1 minute"));
    EXPECT_EQ(getCallHistoryDuration(150), QStringLiteral("2 minutes"));
    EXPECT_EQ(getCallHistoryDuration(3725), QStringLiteral("1 hour"));
    EXPECT_EQ(getCallHistoryDuration(7199), QStringLiteral("1 hour"));
    EXPECT_EQ(getCallHistoryDuration(7200), QStringLiteral("2 hours"));

    EXPECT_EQ(getCallHistoryDate(3723000), QStringLiteral("01:02:03"));
    EXPECT_EQ(getCallHistoryDate(36000000), QStringLiteral("10:00:00"));
    EXPECT_EQ(getCallHistoryDate(0), QStringLiteral("00:00:00"));

    EXPECT_EQ(getFullName(42), QStringLiteral("00000042"));
    EXPECT_EQ(getFullName(123456789), QStringLiteral("123456789"));
}

TEST(TextFormat, DatesInBothEpochs)
{
    // The tests run with TZ=UTC.
    EXPECT_EQ(dateText(0, 1).value_or(QString()), QStringLiteral("01-01-2001 00:00"));
    EXPECT_EQ(dateText(1300000000, 0).value_or(QString()), QStringLiteral("03-13-2011 07:06"));
    // Before 2007 when read from 1970, so it counts from 2001: a message of
    // 2023 does not show as one of 1992.
    EXPECT_EQ(dateText(450000000, 0).value_or(QString()), QStringLiteral("04-06-2015 08:00"));
    EXPECT_EQ(dateText(700000000, 0).value_or(QString()), QStringLiteral("03-08-2023 20:26"));
    EXPECT_EQ(dateText(1167609600, 0).value_or(QString()), QStringLiteral("01-01-2007 00:00"));
    EXPECT_EQ(dateText(447000000, 1).value_or(QString()), QStringLiteral("03-02-2015 14:40"));
    // Nanoseconds since 2001 have no calendar time in either reading.
    EXPECT_FALSE(dateText(std::int64_t(9) << 60, 0).has_value());
    EXPECT_FALSE(dateText(INT64_MAX, 1).has_value());
}

// The date text as it was first written: a local-time conversion for the
// epoch check, another for the text, and printf.
std::optional<QString> referenceDate(std::int64_t value, int type)
{
    std::int64_t seconds = value;
    std::tm local{};
    if (type == 1) {
        if (__builtin_add_overflow(value, 978307200, &seconds))
            return std::nullopt;
    } else {
        const std::time_t t = std::time_t(value);
        if (!localtime_r(&t, &local))
            return std::nullopt;
        if (local.tm_year + 1900 < 2007 && __builtin_add_overflow(value, 978307200, &seconds))
            return std::nullopt;
    }
    const std::time_t t = std::time_t(seconds);
    if (!localtime_r(&t, &local))
        return std::nullopt;
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, "%02d-%02d-%04d %02d:%02d", local.tm_mon + 1, local.tm_mday,
                                local.tm_year + 1900, local.tm_hour, local.tm_min);
    return QString::fromLatin1(buf, n);
}

TEST(TextFormat, DatesAsPrintfWroteThemInAZoneWithSummerTime)
{
    const QByteArray zone = qgetenv("TZ");
    const auto restore = qScopeGuard([&] {
        qputenv("TZ", zone);
        tzset();
    });
    qputenv("TZ", "Europe/Amsterdam");
    tzset();
    std::mt19937_64 random(7);
    int checked = 0;
    for (std::int64_t scale : {std::int64_t(1) << 31, std::int64_t(1) << 36, std::int64_t(1) << 42}) {
        std::uniform_int_distribution<std::int64_t> pick(-scale, scale);
        for (int i = 0; i < 20000; ++i) {
            const std::int64_t value = pick(random);
            for (int type : {0, 1}) {
                ASSERT_EQ(dateText(value, type), referenceDate(value, type)) << value << " " << type;
                ++checked;
            }
        }
    }
    // Around a change to summer time, minute by minute.
    for (std::int64_t value = 1711846800 - 7200; value < 1711846800 + 7200; value += 37)
        ASSERT_EQ(dateText(value, 0), referenceDate(value, 0)) << value;
    EXPECT_EQ(dateText(1711846800, 0).value_or(QString()), QStringLiteral("03-31-2024 03:00"));
    EXPECT_EQ(dateText(-62167219200LL - 86400 * 400, 0), referenceDate(-62167219200LL - 86400 * 400, 0))
        << "a year before 0";
    EXPECT_EQ(checked, 120000);
}

TEST(TextFormat, DatesAndDurationsAsFormatStringsWroteThem)
{
    // Far dates as well, short of years near the largest int.
    std::vector<long long> values = {0, 1, -1, 59, 60, 978307199, 978307200, 1167609600, 1167609599, 1300000000,
                                     4102444800LL, 253402300799LL, 253402300800LL, -62135596800LL, -62135596801LL,
                                     60000000000000000LL, -60000000000000000LL};
    std::mt19937_64 random(3);
    for (int i = 0; i < 300; ++i)
        values.push_back(static_cast<long long>(random() % 120000000000000000ULL) - 60000000000000000LL);
    for (long long v : values) {
        for (int type : {0, 1, 2})
            ASSERT_EQ(dateText(v, type), referenceDate(v, type == 1 ? 1 : 0)) << v << " type " << type;
    }
    // A year past the largest int is shown as itself, not wrapped around.
    const auto far = dateText((2147483647LL + 500 - 1970) * 31556952LL, 0);
    ASSERT_TRUE(far.has_value());
    EXPECT_GT(far->section(QLatin1Char(' '), 0, 0).section(QLatin1Char('-'), 2).toLongLong(), 2147483647LL)
        << qPrintable(*far);

    const auto withArg = [](int s) {
        if (s >= 7200)
            return QStringLiteral("%1 hours").arg(s / 3600);
        if (s >= 3600)
            return QStringLiteral("%1 hour").arg(1);
        const int r = s % 3600;
        if (r >= 120)
            return QStringLiteral("%1 minutes").arg(r / 60);
        if (r >= 60)
            return QStringLiteral("%1 minute").arg(1);
        const int t = r % 60;
        return (t < 2 ? QStringLiteral("%1 second") : QStringLiteral("%1 seconds")).arg(t);
    };
    for (int s : {1 << 30, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()})
        EXPECT_EQ(getCallHistoryDuration(s), withArg(s)) << s;
    for (int s = -4000; s < 12000; ++s)
        ASSERT_EQ(getCallHistoryDuration(s), withArg(s)) << s;
}

TEST(TextFormat, MessageDatesKeepTheirFirstNineDigits)
{
    // As the stored value was first read: printed unsigned, cut to nine
    // digits when it has ten or more.
    const auto asText = [](qint64 stored) {
        const QByteArray digits = QByteArray::number(static_cast<qulonglong>(stored));
        return digits.size() < 10 ? stored : digits.left(9).toLongLong();
    };
    std::mt19937_64 random(3);
    for (int i = 0; i < 100000; ++i) {
        const auto value = qint64(random() >> (random() % 64));
        ASSERT_EQ(MessageExtractor::messageSeconds(value), asText(value)) << value;
        ASSERT_EQ(MessageExtractor::messageSeconds(-value), asText(-value)) << -value;
    }
    for (qint64 value : {qint64(0), qint64(999999999), qint64(1000000000), qint64(640000000123456789),
                         std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(), qint64(-1)})
        EXPECT_EQ(MessageExtractor::messageSeconds(value), asText(value)) << value;
    EXPECT_EQ(MessageExtractor::messageSeconds(640000000123456789), 640000000);
}

TEST(TextFormat, DatabaseTextDecoding)
{
    EXPECT_EQ(GetStringFormChar("plain"), QStringLiteral("plain"));
    EXPECT_EQ(GetStringFormChar("Gr\xc3\xbc\xc3\x9f" "e \xf0\x9f\x98\x80"), QStringLiteral("Grüße 😀"));
    EXPECT_EQ(GetStringFormChar(nullptr), QStringLiteral(""));
    EXPECT_EQ(GetStringFormChar("bad \xff byte"), QStringLiteral(""));
    EXPECT_EQ(GetStringFormChar("overlong \xc0\xaf"), QStringLiteral(""));
    EXPECT_EQ(GetStringFormChar("surrogate \xed\xa0\x80"), QStringLiteral(""));
    EXPECT_EQ(GetStringFormChar("cut \xe2\x82"), QStringLiteral(""));
    EXPECT_EQ(GetStringFormChar("ab\0cd", 5), QStringLiteral("ab"));
    EXPECT_FALSE(GetStringFormChar("x").isNull());

    char32_t buffer[8];
    EXPECT_EQ(Char2Unicode("a\xc3\xa9", buffer, 8), 2u);
    EXPECT_EQ(buffer[1], U'é');
    EXPECT_EQ(buffer[2], 0u);
    EXPECT_EQ(Char2Unicode("toolongtext", buffer, 8), 0u);
}

TEST(PhoneLookup, MiddlePartMatchAndStricterForm)
{
    PhoneLookup::ContactList contacts;
    auto add = [&](const char *name, const char *phone, QByteArray photo = {}) {
        auto c = std::make_shared<PRContactNode>();
        c->setContactName(QString::fromUtf8(name));
        c->setContactPhone(QString::fromUtf8(phone));
        c->setImageData(photo);
        contacts.append(c);
    };
    add("No phone", "");
    add("Ann", " 415-555-0134", "PHOTO");
    add("Bob", " 020 7946 0018");
    QByteArray photo;
    PhoneLookup lookup(contacts, photo);

    EXPECT_EQ(lookup.getNameByPhoneNumber(QStringLiteral("+1 (415) 555-0134")), QStringLiteral("Ann"));
    EXPECT_EQ(lookup.getNameByPhoneNumber(QStringLiteral("+44 20 7946 0018")), QStringLiteral("Bob"));
    EXPECT_TRUE(lookup.getNameByPhoneNumber(QStringLiteral("+1 212 555 9999")).isNull());

    // Short numbers match the plain form but not the stricter one.
    EXPECT_EQ(lookup.getNameByPhoneNumber(QStringLiteral("555")), QStringLiteral("Ann"));
    EXPECT_TRUE(lookup.getNameByPhoneNumber(QStringLiteral("555"), PhoneLookup::Match::WithData).isNull());
    EXPECT_EQ(lookup.getNameByPhoneNumber(QStringLiteral("4155550134"), PhoneLookup::Match::WithData),
              QStringLiteral("Ann"));
    EXPECT_EQ(photo, QByteArray("PHOTO"));

    // The list grows while lookups run: a later contact is found once added.
    EXPECT_TRUE(lookup.getNameByPhoneNumber(QStringLiteral("0611223344")).isNull());
    add("Cleo", " 06 11 22 33 44");
    EXPECT_EQ(lookup.getNameByPhoneNumber(QStringLiteral("0611223344")), QStringLiteral("Cleo"));
}
