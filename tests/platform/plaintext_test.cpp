#include "platform/plaintext.h"

#include <gtest/gtest.h>

TEST(PlainText, MarkupEscapesEverythingAndKeepsLines)
{
    const QString name = QStringLiteral("<img src=\"&#47;dev&#47;zero\"> & \u202Egpj\r\nline two");
    const QString shown = PlainText::markup(name);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("<qt ")));
    EXPECT_FALSE(shown.contains(QStringLiteral("<img")));
    EXPECT_TRUE(shown.contains(QStringLiteral("&lt;img src=&quot;&amp;#47;dev&amp;#47;zero&quot;&gt; &amp; \uFFFDgpj<br>line two")))
        << qPrintable(shown);
    EXPECT_TRUE(PlainText::markup(QString()).isEmpty());
    // A long text is cut, never between the halves of a surrogate pair.
    const QString longName = QString(PlainText::kToolTipLimit - 1, QLatin1Char('a')) + QStringLiteral("\U0001F600tail");
    EXPECT_TRUE(PlainText::markup(longName).contains(QStringLiteral("a\u2026</qt>")));
}

TEST(PlainText, ElidedKeepsHeadAndTailOnOneLine)
{
    EXPECT_EQ(PlainText::elided(QStringLiteral("short\nname"), 64), QStringLiteral("short\uFFFDname"));
    const QString elided = PlainText::elided(QString(50, QLatin1Char('x')) + QStringLiteral("yy"), 11);
    EXPECT_EQ(elided, QStringLiteral("xxxxx\u2026xxxyy"));
    const QString faces = QStringLiteral("\U0001F600").repeated(40);
    const QString cut = PlainText::elided(faces, 10);
    EXPECT_LE(cut.size(), 10);
    // A lone half of a pair would not survive the trip through UTF-8.
    EXPECT_EQ(QString::fromUtf8(cut.toUtf8()), cut);
}
