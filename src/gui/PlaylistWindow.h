#pragma once
// The playlist window: one line per entry over the snapshot the engine thread publishes, the
// current entry marked, the count-and-time field, the search dialog, the context menu and the
// list font. Every change of the playlist is a queued command; the window itself only reads,
// and its rules (search, keys, the random switch) are the desktop model's PlaylistWindowModel.

#include <QAbstractListModel>
#include <QDialog>
#include <QFont>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "desktop/AppSettings.h"
#include "desktop/PlaylistView.h"
#include "desktop/PlaylistWindowModel.h"
#include "desktop/WindowControl.h"
#include "gui/Texts.h"

class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QToolButton;

namespace svt::gui {

// The list's rows: the lines of one snapshot. A new snapshot that only moves the current
// entry repaints two rows; one with new lines resets the model and keeps the selected row.
class PlaylistModel final : public QAbstractListModel {
    Q_OBJECT
  public:
    explicit PlaylistModel(Language language, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // Returns whether the rows themselves changed (the view's selection must be restored).
    bool setSnapshot(std::shared_ptr<const PlaylistSnapshot> snapshot);
    const PlaylistSnapshot& snapshot() const { return *snapshot_; }
    void setLineHeight(int pixels) { lineHeight_ = pixels; }

  private:
    const Language language_;
    std::shared_ptr<const PlaylistSnapshot> snapshot_;
    int lineHeight_ = 16;
};

// The small modeless search dialog: a label, the search text, Search, Next and Close.
class SearchDialog final : public QDialog {
    Q_OBJECT
  public:
    SearchDialog(Language language, QWidget* owner);
    QLineEdit* edit() const { return edit_; }
    QPushButton* searchButton() const { return search_; }
    QPushButton* nextButton() const { return next_; }

  private:
    QLineEdit* edit_;
    QPushButton* search_;
    QPushButton* next_;
};

class PlaylistWindow final : public QWidget {
    Q_OBJECT
  public:
    PlaylistWindow(WindowControl& control, AppSettings& settings, DesktopServices& services,
                   QWidget* owner);

    // The font dialog goes through this, so tests can answer it.
    std::function<std::optional<QFont>(const QFont& current)> chooseFont;
    // The clear question belongs to the main window; quitting is its close request.
    std::function<void()> clearPlaylist;
    std::function<void()> quit;

    // Takes the engine thread's latest snapshot.
    void refresh();
    // "Suchen" (from the selection) or "Weiter suchen" (from the line after it).
    void search(bool next);
    void showSearch();
    void toggleRandom();
    void changeFont();
    // Places the window from "UIListX"/"UIListY" (beside `anchor` when never placed).
    void place(const QRect& anchor);
    // The list font the settings describe.
    static QFont listFont(const AppSettings& settings);

    QListView* list() const { return list_; }
    QLabel* countField() const { return count_; }
    SearchDialog* searchDialog() const { return search_; }
    PlaylistModel* model() const { return model_; }
    QMenu* contextMenu() const { return menu_; }
    int selectedRow() const;
    void selectRow(int row);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QString t(UiText id) const { return tx(id, control_.language()); }
    void playSelected();
    void showCurrent();
    void applyFont(const QFont& font);
    void updateCount();
    void resizeAsKept();

    WindowControl& control_;
    AppSettings& settings_;
    PlaylistWindowModel rules_;
    PlaylistModel* model_;
    QListView* list_;
    QLabel* count_;
    SearchDialog* search_;
    QMenu* menu_;
    QAction* randomAction_ = nullptr;
    bool searchWasVisible_ = false;
    bool placing_ = false;
};

}  // namespace svt::gui
