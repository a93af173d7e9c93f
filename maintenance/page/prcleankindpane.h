#pragma once

#include <QList>
#include <QModelIndex>
#include <QObject>

class PRAppTreeController;
class PRPathFileTableModel;
class QAction;
class QLabel;
class QMenu;
class QSortFilterProxyModel;
class QTableView;
class QTreeView;
class QWidget;

// One of the cleaner's three app kinds (temporary, cache, cookie files) as
// the page shows it: the outline of apps and folders the scan filled, the
// file rows of the selected folder beside it, a preview, and the two context
// menus (file rows, folders) with their buttons.
//
// The pane only shows and asks: it turns the clicked or selected rows into
// nodes through the view's own model (the table may be sorted) on the GUI
// thread and hands them to the page, which removes, previews or exports.
class PRCleanKindPane : public QObject
{
    Q_OBJECT

public:
    // title names the kind on the pane's head ("Temp Files", "Cache Files"...).
    PRCleanKindPane(const QString &title, PRAppTreeController *tree, QWidget *pane, QObject *parent = nullptr);

    // The rows selected in the file table (indexes of the view's own,
    // sorted model), in view order.
    QModelIndexList selectedFileIndexes() const;
    // The outline's selected folder (an app's root or a folder in it), or an
    // invalid index.
    QModelIndex selectedFolderIndex() const;

    // outlineViewSelectionDidChange: fills the table from the selected folder.
    void outlineViewSelectionDidChange();
    // refreshOutlineView: opens the first app (without its children).
    void refreshOutlineView();
    // Shows a preview picture (null: the type's icon named iconName).
    void showPreview(const QImage &image, const QString &iconName);
    void clearPreview();
    // What the page knows: whether the kind holds any file, and whether the
    // cleaner is free to remove (no scan or removal runs).
    void setKindState(bool hasFiles, bool idle);

    PRAppTreeController *treeController() const { return m_tree; }

    // -- Widgets (the page's per-kind fields) ----------------------------------
    QTreeView *outlineView = nullptr;
    PRPathFileTableModel *fileController = nullptr;
    QSortFilterProxyModel *fileSorter = nullptr;
    QTableView *fileTableView = nullptr;
    QLabel *imageView = nullptr;
    QLabel *titleLabel = nullptr;
    QMenu *fileMenu = nullptr; // junkMenu / cacheMenu / cookieMenu
    QMenu *dirMenu = nullptr;  // junkDirMenu / cacheDirMenu / cookieDirMenu

    QAction *cleanFileAction = nullptr;
    QAction *cleanDirAction = nullptr;
    QAction *cleanAllAction = nullptr;
    QAction *exportFileAction = nullptr;
    QAction *exportDirAction = nullptr;

Q_SIGNALS:
    // The user asked for one of the actions (the page does it).
    void cleanFileRequested();
    void cleanDirRequested();
    void cleanAllRequested();
    void exportFileRequested();
    void exportDirRequested();
    // A single file row became the selection (the page previews it): an
    // index of the file table's model.
    void fileChosen(const QModelIndex &row);

private:
    void buildWidgets(QWidget *pane, const QString &title);
    // menuNeedsUpdate: a click beside the rows disables every item.
    void showMenu(QMenu *menu, QWidget *view, const QModelIndex &clicked, const QPoint &at);
    void updateActions();

    PRAppTreeController *m_tree = nullptr;
    bool m_hasFiles = false;
    bool m_idle = true;
};
