// Timed runs of the results page's heavy paths, measured here rather than
// bounded in the unit tests:
//
//   ostra-results-bench [--messages N] [--export-mb M]
//
// - a conversation of N messages (20,000 by default) opened in the
//   conversation preview, ten pages more appended, then scrolled through;
// - an export of 10,000 messages in 100 conversations with 64 movie
//   attachments of M MiB in all (256 by default; the report's run used
//   2048), the GUI thread's event loop watched by a 10 ms timer meanwhile.
//
// Prints each figure; exits non-zero when a run does not do its work.

#include "results/prconversationview.h"
#include "results/prexportrun.h"
#include "results/prchatview.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

std::shared_ptr<PRMessageNode> textMessage(const QString &name, const QString &text, const QString &type)
{
    auto m = std::make_shared<PRMessageNode>();
    m->setMessageName(name);
    m->setMessagePhone(QStringLiteral("+1 555 0100"));
    m->setMessageDate(QStringLiteral("2013-05-02 10:15:00"));
    m->setMessageType(type);
    m->setMessageContent(text);
    return m;
}

std::shared_ptr<PRMessageNode> attachment(const QString &kind, const QString &path)
{
    auto m = textMessage(QStringLiteral("Anna"), QString(), QStringLiteral("Received"));
    m->setIsHasAttach(true);
    m->setAttachType(kind);
    m->setAttachmentPath(path);
    return m;
}

bool conversationRun(int count)
{
    auto node = std::make_shared<PRMessageTreeNode>();
    node->setMessageTreeNodeName(QStringLiteral("Ann Example"));
    const QString sentence = QStringLiteral("Are we still on for dinner tonight? I can bring dessert. ");
    for (int i = 0; i < count; ++i)
        node->messages().append(textMessage(QStringLiteral("Ann"), sentence.repeated(1 + i % 4),
                                            i % 3 ? QStringLiteral("Received") : QStringLiteral("Send")));
    PRConversationView view;
    view.resize(425, 500);
    view.show();
    QElapsedTimer timer;
    timer.start();
    view.showConversation(node);
    QCoreApplication::processEvents();
    const qint64 open = timer.restart();
    for (int i = 0; i < 10; ++i)
        view.ClickMoreBtn();
    QCoreApplication::processEvents();
    const qint64 more = timer.restart();
    for (int y = 0; y < view.documentView()->height(); y += 400) {
        view.verticalScrollBar()->setValue(y);
        view.viewport()->repaint();
    }
    const qint64 scroll = timer.elapsed();
    const qsizetype bubbles = view.chatViews().size();
    std::printf("conversation of %d messages: open %lld ms, ten pages more %lld ms, scrolled through %lld bubbles "
                "in %lld ms\n",
                count, open, more, static_cast<long long>(bubbles), scroll);
    const qsizetype expected = std::min<qsizetype>(count, 11 * PRConversationView::kPreviewCount);
    if (bubbles != expected) {
        std::fprintf(stderr, "expected %lld bubbles, got %lld\n", static_cast<long long>(expected),
                     static_cast<long long>(bubbles));
        return false;
    }
    return true;
}

bool exportRun(qint64 totalMb)
{
    constexpr int kMessages = 10000;
    constexpr int kConversations = 100;
    constexpr int kMovies = 64;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/ostra-export-XXXXXX"));
    const qint64 need = totalMb * 1024 * 1024 * 2 + (64 << 20);
    if (QStorageInfo(dir.path()).bytesAvailable() < need) {
        std::printf("export: not enough room for %lld MiB twice, not measured\n", totalMb);
        return true;
    }

    // Sparse movie sources: the copies are written in full.
    const qint64 movieSize = totalMb * 1024 * 1024 / kMovies;
    QList<QString> movies;
    for (int i = 0; i < kMovies; ++i) {
        const QString path = dir.path() + QStringLiteral("/src/movie%1.mov").arg(i);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write("moov") != 4 || !f.resize(movieSize))
            return false;
        movies << path;
    }
    const QString card = dir.path() + QStringLiteral("/src/card.vcf");
    {
        QFile f(card);
        if (!f.open(QIODevice::WriteOnly) || f.write("BEGIN:VCARD\nFN:A\nEND:VCARD\n") <= 0)
            return false;
    }

    PRExportRun::Job job;
    job.recoverPath = dir.path() + QStringLiteral("/Export");
    job.deviceName = QStringLiteral("Phone");
    int movieIndex = 0;
    for (int c = 0; c < kConversations; ++c) {
        QList<std::shared_ptr<PRMessageNode>> messages;
        for (int m = 0; m < kMessages / kConversations; ++m) {
            const int n = c * (kMessages / kConversations) + m;
            if (n % (kMessages / kMovies) == 0 && movieIndex < kMovies)
                messages << attachment(QStringLiteral("Mov"), movies[movieIndex++]);
            else if (n % 500 == 1)
                messages << attachment(QStringLiteral("Contact"), card);
            else
                messages << textMessage(QStringLiteral("Person %1").arg(c),
                                        QStringLiteral("Message number %1 with some text").arg(n),
                                        QStringLiteral("Received"));
        }
        auto conversation = std::make_shared<PRMessageTreeNode>();
        conversation->setMessageTreeNodeName(QStringLiteral("Person %1").arg(c));
        conversation->setMessageTreeNodeAdress(QStringLiteral("+1 555 0100"));
        conversation->setMessageNodeArray(messages);
        job.conversations << conversation;
    }

    PRExportRun run;
    std::optional<PRExportRun::Result> result;
    QObject::connect(&run, &PRExportRun::finished, [&](const PRExportRun::Result &r) { result = r; });
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    int ticks = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.restart());
        ++ticks;
    });
    clock.start();
    sinceTick.start();
    watch.start(10);
    const qint64 startCall = clock.nsecsElapsed();
    if (!run.start(job))
        return false;
    const qint64 startNs = clock.nsecsElapsed() - startCall;
    if (!QTest::qWaitFor([&] { return result.has_value(); }, 600000))
        return false;
    const qint64 elapsed = clock.elapsed();
    watch.stop();

    qint64 copied = 0;
    for (const QString &f : QDir(job.recoverPath + QStringLiteral("/Message")).entryList({QStringLiteral("*.mov.mov")}))
        copied += QFileInfo(job.recoverPath + QStringLiteral("/Message/") + f).size();
    std::printf("export: %d messages in %d conversations, %d movies of %lld MiB in all: %lld ms (%lld MiB/s); "
                "start() on the GUI thread %lld us; GUI thread's longest gap %lld ms over %d ticks; %lld files "
                "written, %lld failures\n",
                kMessages, kConversations, kMovies, copied >> 20, elapsed,
                elapsed > 0 ? (copied >> 20) * 1000 / elapsed : 0, startNs / 1000, longestGap, ticks,
                static_cast<long long>(result->written), static_cast<long long>(result->failures.size()));
    return result->failures.isEmpty() && copied == movieSize * kMovies;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("messages"), QStringLiteral("Messages in the conversation."), QStringLiteral("N"),
                      QStringLiteral("20000")});
    parser.addOption({QStringLiteral("export-mb"), QStringLiteral("MiB of movie attachments exported."),
                      QStringLiteral("M"), QStringLiteral("256")});
    parser.process(app);

    bool ok = conversationRun(parser.value(QStringLiteral("messages")).toInt());
    ok = exportRun(parser.value(QStringLiteral("export-mb")).toLongLong()) && ok;
    return ok ? 0 : 1;
}
