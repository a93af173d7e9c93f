#pragma once

#include <QHash>
#include <QImage>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <memory>

// What a thumbnail job made of one media file. The image is set for a
// picture and a movie frame; every other kind stands for an application icon.
// Chooses the FFmpeg media backend unless the user chose one: the default
// backend needs plugins a machine may lack and then crashes. Call it before
// the application object is made: Qt Multimedia reads the choice early.
void preferFFmpegBackend();

struct PRThumbnail
{
    enum class Kind {
        Picture,       // the picture, at most MaxPixelSize on its longer side
        MovieFrame,    // the movie's first frame, as small
        NoThumbnail,   // a file that opens but decodes to no picture: its type icon
        Unreadable,    // "document.png"
        MovieTooLarge, // the "mov" icon; the file is never opened
        NoMovieFrame,  // "music.png": sound only, or nothing the player can show
    };
    Kind kind = Kind::NoThumbnail;
    QImage image;
};
Q_DECLARE_METATYPE(PRThumbnail)

// Makes thumbnails on threads of its own and hands each back on the thread
// it lives on (the GUI thread), as thumbnailReady with the id of its request.
class PRThumbnailer : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxPixelSize = 128;
    // One byte less than 200 MiB: larger movies are not opened at all.
    static constexpr qint64 MaxMovieBytes = 209715199;
    static constexpr int MovieFrameTimeoutMs = 5000;

    explicit PRThumbnailer(QObject *parent = nullptr);
    // Waits for the running jobs: nothing outlives it.
    ~PRThumbnailer() override;

    // Queues the thumbnail of a file; bmov marks a movie (or a sound file).
    quint64 request(const QString &filePath, bool bmov);
    // A job not yet started is skipped, a running one stops as soon as it
    // can; either way its result is not reported.
    void cancel(quint64 id);
    void cancelAll();
    // cancelAll, then waits until no job runs.
    void cancelAndWait();

    // Jobs handed out and not yet reported or cancelled.
    int pendingCount() const { return int(m_jobs.size()); }
    // Jobs that ran to decode a file, and those skipped because they were
    // cancelled before a thread took them.
    int decodedCount() const { return m_decoded.load(); }
    int skippedCount() const { return m_skipped.load(); }

    // The work of one job, on any thread. cancelled may be null.
    static PRThumbnail makeThumbnail(const QString &filePath, bool bmov, const std::atomic_bool *cancelled = nullptr);
    // A picture scaled to fit MaxPixelSize while it is decoded where the
    // format allows (JPEG decodes at a fraction of its size), turned upright
    // by its EXIF orientation. Null when it does not decode.
    static QImage pictureThumbnail(QIODevice *device);
    // The first frame of a movie through Qt Multimedia, scaled like a
    // picture; null for sound only, an unplayable file, a timeout or a cancel.
    static QImage movieFrame(const QString &filePath, int timeoutMs, const std::atomic_bool *cancelled = nullptr);

Q_SIGNALS:
    void thumbnailReady(quint64 id, const PRThumbnail &thumbnail);

private:
    class Job;
    void deliver(quint64 id, const PRThumbnail &thumbnail);

    QThreadPool m_pool;
    // The cancel flag of every job handed out and not yet reported.
    QHash<quint64, std::shared_ptr<std::atomic_bool>> m_jobs;
    quint64 m_nextId = 1;
    std::atomic_int m_decoded{0};
    std::atomic_int m_skipped{0};
};
