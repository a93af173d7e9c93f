#pragma once

#include "backup/nodes/prnode.h"

// A photo, video or audio file of a backup ("ScanPhotoAndVideo").
class PRPhotoAndVideoNode : public PRNode
{
    PR_PROPERTY(QString, fileNodeName, setFileNodeName) = emptyText();
    PR_PROPERTY(QString, fileNodeSize, setFileNodeSize) = emptyText();
    PR_PROPERTY(QString, filePath, setFilePath) = emptyText();
    // Set for video and audio files.
    PR_PROPERTY(bool, bmov, setBmov) = false;
    PR_PROPERTY(bool, bSelected, setBSelected) = false;
    PR_PROPERTY(quint64, fileSizeNumber, setFileSizeNumber) = 0;

public:
    const char *className() const override { return "PRPhotoAndVideoNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.text("fileNodeName", m_fileNodeName);
        v.text("fileNodeSize", m_fileNodeSize);
        v.text("filePath", m_filePath);
        v.flag("bmov", m_bmov);
        v.flag("bSelected", m_bSelected);
        v.unsignedInteger("fileSizeNumber", m_fileSizeNumber);
    }
};

// A stored file of the Facebook, Messenger or Twitter domains ("scanFaceTwitterInfo").
class PRFaceTwitterNode : public PRNode
{
    PR_PROPERTY(QString, faceTwitterFileName, setFaceTwitterFileName) = emptyText();
    PR_PROPERTY(QString, faceTwitterFilePath, setFaceTwitterFilePath) = emptyText();
    PR_PROPERTY(QString, fileSize, setFileSize) = emptyText();
    PR_PROPERTY(bool, bSelected, setBSelected) = false;

public:
    const char *className() const override { return "PRFaceTwitterNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.text("faceTwitterFileName", m_faceTwitterFileName);
        v.text("faceTwitterFilePath", m_faceTwitterFilePath);
        v.text("fileSize", m_fileSize);
        v.flag("bSelected", m_bSelected);
    }
};
