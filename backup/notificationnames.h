#pragma once

#include <QString>

// The names the scan and the pages talk through.
namespace Notifications {
inline const QString FindBackUpDirFileInfo = QStringLiteral("FindBackUpDirFileInfo");
inline const QString ScanProgressInfo = QStringLiteral("ScanProgressInfo");
inline const QString ScanPhotoAndVideo = QStringLiteral("ScanPhotoAndVideo");
inline const QString ScanPhotoAndVideoInfo = QStringLiteral("ScanPhotoAndVideoInfo");
inline const QString scanFaceTwitterInfo = QStringLiteral("scanFaceTwitterInfo");
inline const QString ScanContactInfo = QStringLiteral("ScanContactInfo");
inline const QString ScanTransferContactInfo = QStringLiteral("ScanTransferContactInfo");
inline const QString ScanTransferContactFinished = QStringLiteral("ScanTransferContactFinished");
inline const QString ScanTransferMessageFinished = QStringLiteral("ScanTransferMessageFinished");
inline const QString ScanTransferNoteFinished = QStringLiteral("ScanTransferNoteFinished");
inline const QString ScanDelContactInfo = QStringLiteral("ScanDelContactInfo");
inline const QString ScanMessageInfo = QStringLiteral("ScanMessageInfo");
inline const QString ScanTransferMessageInfo = QStringLiteral("ScanTransferMessageInfo");
inline const QString ScanDelMessageInfo = QStringLiteral("ScanDelMessageInfo");
inline const QString ScanNoteInfo = QStringLiteral("ScanNoteInfo");
inline const QString ScanTransferNoteInfo = QStringLiteral("ScanTransferNoteInfo");
inline const QString ScanDelNoteInfo = QStringLiteral("ScanDelNoteInfo");
inline const QString ScanCallHistoryInfo = QStringLiteral("ScanCallHistoryInfo");
inline const QString ScanDelCallHistoryInfo = QStringLiteral("ScanDelCallHistoryInfo");
inline const QString scanBookMarkInfo = QStringLiteral("scanBookMarkInfo");
inline const QString scanDelBookMarkInfo = QStringLiteral("scanDelBookMarkInfo");
inline const QString scanCalenderInfo = QStringLiteral("scanCalenderInfo");
inline const QString scanDelCalenderInfo = QStringLiteral("scanDelCalenderInfo");
inline const QString ScanThreadFinish = QStringLiteral("ScanThreadFinish");
} // namespace Notifications
