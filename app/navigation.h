#pragma once

#include <QString>

#include <array>

class VeldruneAppDelegate;

// The sidebar's fifteen rows and the ten home tiles: what each shows and
// which action of the shell it sends. Plain data, so that tests and the
// window read the same table.
using PRShellAction = void (VeldruneAppDelegate::*)();

struct PRSidebarRow
{
    const char *button;
    const char *normalImage;
    const char *highlightedImage;
    const char *title;
    PRShellAction action;
};

struct PRHomeTile
{
    const char *tile;
    const char *pressedImage;
    const char *imageAfter;
    const char *title;
    PRShellAction action;
};

// Rows are numbered from 1 as the highlight rule counts them.
const std::array<PRSidebarRow, 15> &sidebarRows();
const std::array<PRHomeTile, 10> &homeTiles();

// The colours of a row: highlighted (157, 181, 212) with white text, normal
// (227, 234, 239) with black text.
struct PRRowStyle
{
    int red, green, blue;
    bool whiteText;
};
PRRowStyle rowStyle(bool highlighted);

// The guide is shown instead of scanning when the backup folder exists but
// this user may not read it (the application cannot see the backups then).
bool backupFolderNeedsAccess(const QString &backupRoot);
