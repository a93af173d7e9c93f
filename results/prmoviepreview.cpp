#include "results/prmoviepreview.h"

#include "filesafety/prthumbnailer.h"
#include "platform/regularfile.h"

#include <QAudioOutput>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>

#include <utility>

PRMoviePreview::PRMoviePreview(QWidget *parent)
    : QWidget(parent)
{
    preferFFmpegBackend();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_play = new QPushButton(tr("Play"), this);
    m_play->setEnabled(false);
    layout->addWidget(m_play, 0, Qt::AlignHCenter);
    connect(m_play, &QPushButton::clicked, this, &PRMoviePreview::togglePlaying);
}

PRMoviePreview::~PRMoviePreview()
{
    stop();
}

void PRMoviePreview::ensurePlayer()
{
    if (m_player)
        return;
    // Qt Multimedia loads its libraries with the first video widget: not
    // before the first movie is shown.
    m_player = new QMediaPlayer(this);
    if (m_pictureShown) {
        m_video = new QVideoWidget(this);
        m_video->setMinimumSize(240, 180);
        static_cast<QVBoxLayout *>(layout())->insertWidget(0, m_video, 1);
        m_player->setVideoOutput(m_video);
    }
    // Without an output a track or a movie's sound would play silently; a
    // machine without any sound device gets none (the media backend's audio
    // renderer crashes on a missing device).
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (!device.isNull()) {
        m_audio = new QAudioOutput(device, this);
        m_player->setAudioOutput(m_audio);
    }
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this] {
        m_play->setEnabled(false);
        Q_EMIT failed();
    });
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState state) {
        m_play->setText(state == QMediaPlayer::PlayingState ? tr("Pause") : tr("Play"));
    });
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::LoadedMedia) {
            m_play->setEnabled(true);
            if (std::exchange(m_playWhenLoaded, false))
                m_player->play();
        }
        else if (status == QMediaPlayer::InvalidMedia)
            Q_EMIT failed();
    });
}

void PRMoviePreview::setMovie(const QString &path)
{
    // The player is handed the descriptor of the checked file: a link, FIFO
    // or device in the backup never reaches the media framework.
    auto source = std::make_unique<QFile>();
    if (!RegularFile::openFile(*source, path)) {
        stop();
        Q_EMIT failed();
        return;
    }
    ensurePlayer();
    m_player->stop();
    m_play->setEnabled(false);
    m_playWhenLoaded = false;
    m_player->setSource(QUrl::fromLocalFile(RegularFile::descriptorPath(*source)));
    m_source = std::move(source);
}

void PRMoviePreview::play()
{
    if (!m_player)
        return;
    if (m_player->mediaStatus() == QMediaPlayer::LoadedMedia || m_player->mediaStatus() == QMediaPlayer::BufferedMedia)
        m_player->play();
    else
        m_playWhenLoaded = true;
}

void PRMoviePreview::stop()
{
    m_playWhenLoaded = false;
    if (!m_player)
        return;
    m_player->stop();
    m_player->setSource(QUrl());
    m_source.reset();
    m_play->setEnabled(false);
}

bool PRMoviePreview::isPlaying() const
{
    return m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
}

void PRMoviePreview::togglePlaying()
{
    if (!m_player)
        return;
    if (m_player->playbackState() == QMediaPlayer::PlayingState)
        m_player->pause();
    else
        m_player->play();
}
