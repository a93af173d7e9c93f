#include "filesafety/prthumbnailer.h"

#include "filesafety/prheifimage.h"
#include "platform/regularfile.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMediaPlayer>
#include <QRunnable>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

namespace {

QImage fitted(QImage image)
{
    if (image.width() > PRThumbnailer::MaxPixelSize || image.height() > PRThumbnailer::MaxPixelSize)
        image = image.scaled(PRThumbnailer::MaxPixelSize, PRThumbnailer::MaxPixelSize, Qt::KeepAspectRatio,
                             Qt::SmoothTransformation);
    // Converted here, off the GUI thread, so that making the pixmap there is a copy.
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
}

} // namespace

// Debian's GStreamer backend of Qt Multimedia crashes when GStreamer's own
// plugins are missing; the FFmpeg backend needs only the libraries Qt
// Multimedia already links. A backend the user chose is kept.
void preferFFmpegBackend()
{
    static const bool chosen = [] {
        if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND"))
            qputenv("QT_MEDIA_BACKEND", "ffmpeg");
        return true;
    }();
    (void)chosen;
}

class PRThumbnailer::Job : public QRunnable
{
public:
    Job(PRThumbnailer *owner, quint64 id, QString filePath, bool bmov, std::shared_ptr<std::atomic_bool> cancelled)
        : m_owner(owner), m_id(id), m_filePath(std::move(filePath)), m_bmov(bmov), m_cancelled(std::move(cancelled))
    {
    }

    void run() override
    {
        // The owner waits for its running jobs before it goes, so it is here.
        if (m_cancelled->load()) {
            ++m_owner->m_skipped;
            return;
        }
        ++m_owner->m_decoded;
        PRThumbnail thumbnail = makeThumbnail(m_filePath, m_bmov, m_cancelled.get());
        if (m_cancelled->load())
            return;
        // Queued to the owner's thread; dropped unread if the owner goes first.
        QMetaObject::invokeMethod(
            m_owner, [owner = m_owner, id = m_id, thumbnail = std::move(thumbnail)] { owner->deliver(id, thumbnail); },
            Qt::QueuedConnection);
    }

private:
    PRThumbnailer *m_owner;
    quint64 m_id;
    QString m_filePath;
    bool m_bmov;
    std::shared_ptr<std::atomic_bool> m_cancelled;
};

PRThumbnailer::PRThumbnailer(QObject *parent)
    : QObject(parent)
{
    preferFFmpegBackend();
    m_pool.setMaxThreadCount(qMax(2, QThread::idealThreadCount()));
}

PRThumbnailer::~PRThumbnailer()
{
    cancelAndWait();
}

quint64 PRThumbnailer::request(const QString &filePath, bool bmov)
{
    const quint64 id = m_nextId++;
    auto cancelled = std::make_shared<std::atomic_bool>(false);
    m_jobs.insert(id, cancelled);
    m_pool.start(new Job(this, id, filePath, bmov, cancelled));
    return id;
}

void PRThumbnailer::cancel(quint64 id)
{
    if (auto flag = m_jobs.take(id))
        flag->store(true);
}

void PRThumbnailer::cancelAll()
{
    for (const auto &flag : std::as_const(m_jobs))
        flag->store(true);
    m_jobs.clear();
    m_pool.clear();
}

void PRThumbnailer::cancelAndWait()
{
    cancelAll();
    m_pool.waitForDone();
}

void PRThumbnailer::deliver(quint64 id, const PRThumbnail &thumbnail)
{
    // A job cancelled after it finished is not reported either.
    if (m_jobs.remove(id))
        Q_EMIT thumbnailReady(id, thumbnail);
}

PRThumbnail PRThumbnailer::makeThumbnail(const QString &filePath, bool bmov, const std::atomic_bool *cancelled)
{
    using Kind = PRThumbnail::Kind;
    QFile file;
    // Opening reads nothing: a movie is measured before any of it is read. A
    // link, FIFO or device in the backup is unreadable, never waited on.
    if (!RegularFile::openFile(file, filePath))
        return {Kind::Unreadable, {}};
    if (bmov) {
        if (file.size() > MaxMovieBytes)
            return {Kind::MovieTooLarge, {}};
        // The player opens the checked file itself, not the name again.
        QImage frame = movieFrame(RegularFile::descriptorPath(file), MovieFrameTimeoutMs, cancelled);
        if (frame.isNull())
            return {Kind::NoMovieFrame, {}};
        return {Kind::MovieFrame, std::move(frame)};
    }
    QImage picture = pictureThumbnail(&file);
    if (picture.isNull())
        return {Kind::NoThumbnail, {}};
    return {Kind::Picture, std::move(picture)};
}

QImage PRThumbnailer::pictureThumbnail(QIODevice *device)
{
    // Phone cameras write HEIC, which Qt's own readers do not know.
    if (PRHeifImage::isHeif(device->peek(64))) {
        const QImage image = PRHeifImage::read(device, MaxPixelSize);
        return image.isNull() ? QImage() : fitted(image);
    }
    QImageReader reader(device);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > MaxPixelSize || size.height() > MaxPixelSize))
        reader.setScaledSize(size.scaled(MaxPixelSize, MaxPixelSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    const QImage image = reader.read();
    if (image.isNull() || image.size().isEmpty())
        return {};
    return fitted(image);
}

QImage PRThumbnailer::movieFrame(const QString &filePath, int timeoutMs, const std::atomic_bool *cancelled)
{
    preferFFmpegBackend();
    QMediaPlayer player;
    QVideoSink sink;
    player.setVideoSink(&sink);

    QImage frame;
    bool done = false;
    QEventLoop loop;
    const auto finish = [&] {
        done = true;
        loop.quit();
    };
    QObject::connect(&sink, &QVideoSink::videoFrameChanged, &loop, [&](const QVideoFrame &videoFrame) {
        if (done || !videoFrame.isValid())
            return;
        frame = videoFrame.toImage();
        if (!frame.isNull())
            finish();
    });
    QObject::connect(&player, &QMediaPlayer::errorOccurred, &loop, finish);
    QObject::connect(&player, &QMediaPlayer::mediaStatusChanged, &loop, [&](QMediaPlayer::MediaStatus status) {
        switch (status) {
        case QMediaPlayer::InvalidMedia:
        case QMediaPlayer::EndOfMedia: finish(); break;
        case QMediaPlayer::LoadedMedia:
        case QMediaPlayer::BufferedMedia:
            // A sound file has no frame to wait for.
            if (!player.hasVideo())
                finish();
            break;
        default: break;
        }
    });
    // The deadline and a cancel are looked at while the player works.
    const QDeadlineTimer deadline(timeoutMs);
    QTimer watch;
    watch.setInterval(50);
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (done || deadline.hasExpired() || (cancelled && cancelled->load()))
            finish();
    });
    watch.start();

    player.setSource(QUrl::fromLocalFile(filePath));
    if (!done && player.error() == QMediaPlayer::NoError) {
        player.play();
        if (!done)
            loop.exec();
    }
    player.stop();
    if (frame.isNull())
        return {};
    return fitted(frame);
}
