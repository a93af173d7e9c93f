#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The application's images by the names the pages use: "contactNom" or
// "photos_Down.png" (a name with its extension stands as it is).
QString imageResourcePath(const QString &name);
QPixmap imageNamed(const QString &name);
QIcon iconNamed(const QString &name);
