#pragma once

#include "transfer/prtranmusicnode.h"

#include <QAbstractTableModel>

// The rows of the music pane (and, as PRTransferVideoContoller, of the video
// pane): one track of the phone's library per row. The texts are the phone's
// and are shown as plain data, never as markup.
class PRTransferMusicController : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit PRTransferMusicController(QObject *parent = nullptr);

    void setTracks(const PRTranMusicList &tracks);
    const PRTranMusicList &tracks() const { return m_tracks; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    PRTranMusicList m_tracks;
};

using PRTransferVideoContoller = PRTransferMusicController;
