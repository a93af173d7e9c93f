#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

// Reads the picture a preview of the results page shows on a worker thread:
// a stored file of a tampered backup may be huge, a FIFO or a device, and a
// record's picture bytes may take long to decode, so neither is ever read on
// the GUI thread.
//
// One loader serves one place a picture is shown (a label). A new request
// supersedes the one before it: the answer of an older request, arriving
// late, is dropped, never shown over the newer record. The answer reaches
// the GUI thread by a queued call that carries the request's generation; a
// loader destroyed meanwhile gets nothing.
//
// Stored files are read as readPreviewPicture() reads them: only a regular
// file, of at most kPreviewPictureFileLimit bytes; picture bytes longer than
// that are refused unread.
class PRPreviewPictureLoader : public QObject
{
    Q_OBJECT

public:
    // Called on the GUI thread with the picture, or a null image when there
    // is none to show (no regular file, too large, no picture).
    using Apply = std::function<void(const QImage &)>;

    explicit PRPreviewPictureLoader(QObject *parent = nullptr);
    ~PRPreviewPictureLoader() override;

    // The loader that serves owner (a preview's label), made as its child on
    // first use, so it lives and goes with the widget it fills.
    static PRPreviewPictureLoader *of(QObject *owner);

    // Reads the stored file at path scaled to fit box.
    void requestFile(const QString &path, const QSize &box, Apply apply);
    // Decodes picture bytes a record holds (a contact's photo) to fit box.
    void requestData(const QByteArray &data, const QSize &box, Apply apply);
    // Drops the answer still expected, if any.
    void cancel();

    // A request is made and its answer not yet applied.
    bool isPending() const { return bool(m_apply); }

Q_SIGNALS:
    // The newest request's answer was applied.
    void pictureApplied();

private:
    struct Inbox;

    void start(std::function<QImage()> read, Apply apply);
    void deliver(quint64 generation, const QImage &image);

    std::shared_ptr<Inbox> m_inbox;
    Apply m_apply;
};
