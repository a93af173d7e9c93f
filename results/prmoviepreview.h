#pragma once

#include <QFile>
#include <QWidget>

#include <memory>

class QAudioOutput;
class QMediaPlayer;
class QPushButton;
class QVideoWidget;

// A movie of the backup, played where the user looks at it: a picture area
// and a play/pause button. The player is made on the first movie shown, so
// a user who never opens one pays nothing for it.
class PRMoviePreview : public QWidget
{
    Q_OBJECT

public:
    explicit PRMoviePreview(QWidget *parent = nullptr);
    ~PRMoviePreview() override;

    // Loads path, paused on its first frame; a new call replaces the movie.
    void setMovie(const QString &path);
    // Sound only: no picture area is made (set before the first movie).
    void setPictureShown(bool shown) { m_pictureShown = shown; }
    // Plays the movie shown, as soon as it is loaded.
    void play();
    // Stops and forgets the movie.
    void stop();
    bool isPlaying() const;

Q_SIGNALS:
    // The movie cannot be played (missing file, unknown format).
    void failed();

private:
    void ensurePlayer();
    void togglePlaying();

    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_audio = nullptr;
    QVideoWidget *m_video = nullptr;
    bool m_playWhenLoaded = false;
    bool m_pictureShown = true;
    QPushButton *m_play = nullptr;
    // The movie's file, open while the player may read it.
    std::unique_ptr<QFile> m_source;
};
