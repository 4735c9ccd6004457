#include "gui/PlaylistWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "desktop/WindowLayout.h"
#include "gui/Texts.h"

namespace svt::gui {
namespace {

// The list scrolls sideways over this width, so long paths can be read.
constexpr int kListExtent = 1600;

}  // namespace

// The list model over the engine's snapshots.

PlaylistModel::PlaylistModel(Language language, QObject* parent)
    : QAbstractListModel(parent),
      language_(language),
      snapshot_(std::make_shared<PlaylistSnapshot>()) {}

int PlaylistModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : snapshot_->count();
}

QVariant PlaylistModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= snapshot_->count()) return {};
    if (role == Qt::DisplayRole)
        return QString::fromStdString(snapshot_->lineText(index.row(), language_));
    if (role == Qt::SizeHintRole) return QSize(kListExtent, lineHeight_);
    return {};
}

bool PlaylistModel::setSnapshot(std::shared_ptr<const PlaylistSnapshot> next) {
    if (!next) return false;
    if (next->contentsGeneration != snapshot_->contentsGeneration ||
        next->count() != snapshot_->count()) {
        beginResetModel();
        snapshot_ = std::move(next);
        endResetModel();
        return true;
    }
    const int before = snapshot_->current;
    snapshot_ = std::move(next);
    for (const int row : {before, snapshot_->current})
        if (row >= 0 && row < snapshot_->count())
            Q_EMIT dataChanged(index(row), index(row), {Qt::DisplayRole});
    return false;
}

// The search dialog.

SearchDialog::SearchDialog(Language language, QWidget* owner) : QDialog(owner, Qt::Tool) {
    const auto t = [language](UiText id) { return tx(id, language); };
    setWindowTitle(QString());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(t(UiText::EnterText), this));
    edit_ = new QLineEdit(this);
    edit_->setMaxLength(kSearchTextLimit);
    edit_->setMinimumWidth(260);
    layout->addWidget(edit_);
    auto* buttons = new QHBoxLayout;
    search_ = new QPushButton(t(UiText::Search), this);
    next_ = new QPushButton(t(UiText::SearchNext), this);
    auto* close = new QPushButton(t(UiText::Close), this);
    search_->setDefault(true);
    buttons->addWidget(search_);
    buttons->addWidget(next_);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
}

// The window.

PlaylistWindow::PlaylistWindow(WindowControl& control, AppSettings& settings,
                               DesktopServices& services, QWidget* owner)
    : QWidget(owner, Qt::Window),
      control_(control),
      settings_(settings),
      rules_(control, services) {
    setWindowTitle(t(UiText::Playlist));
    setMinimumSize(kPlaylistMinimumWidth, kPlaylistMinimumHeight);
    chooseFont = [this](const QFont& current) -> std::optional<QFont> {
        bool ok = false;
        const QFont font = QFontDialog::getFont(&ok, current, this);
        if (!ok) return std::nullopt;
        return font;
    };

    model_ = new PlaylistModel(control_.language(), this);
    list_ = new QListView(this);
    list_->setModel(model_);
    list_->setUniformItemSizes(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list_->setTextElideMode(Qt::ElideNone);
    list_->installEventFilter(this);
    connect(list_, &QListView::doubleClicked, this, [this] { playSelected(); });

    count_ = new QLabel(this);
    count_->setTextInteractionFlags(Qt::NoTextInteraction);

    QStyle* st = style();
    auto button = [this](const QIcon& icon, const QString& tip, const std::function<void()>& act) {
        auto* b = new QToolButton(this);
        b->setIcon(icon);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, act);
        return b;
    };
    auto* row = new QHBoxLayout;
    row->addWidget(count_, 1);
    row->addWidget(button(st->standardIcon(QStyle::SP_TrashIcon), t(UiText::ClearPlaylist), [this] {
        if (clearPlaylist) clearPlaylist();
    }));
    row->addWidget(button(st->standardIcon(QStyle::SP_FileDialogContentsView), t(UiText::Search),
                          [this] { showSearch(); }));
    row->addWidget(button(st->standardIcon(QStyle::SP_FileDialogDetailedView), t(UiText::ListFont),
                          [this] { changeFont(); }));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(list_, 1);
    layout->addLayout(row);

    search_ = new SearchDialog(control_.language(), this);
    connect(search_->searchButton(), &QPushButton::clicked, this, [this] { search(false); });
    connect(search_->nextButton(), &QPushButton::clicked, this, [this] { search(true); });

    menu_ = new QMenu(this);
    menu_->addAction(t(UiText::Play), this, [this] { playSelected(); });
    menu_->addAction(t(UiText::CurrentSong), this, [this] { showCurrent(); });
    menu_->addAction(t(UiText::Search), this, [this] { showSearch(); });
    menu_->addAction(t(UiText::RemoveSong), this, [this] { rules_.removeSelected(selectedRow()); });
    menu_->addAction(t(UiText::ClearPlaylist), this, [this] {
        if (clearPlaylist) clearPlaylist();
    });
    menu_->addSeparator();
    randomAction_ =
        menu_->addAction(t(UiText::RandomOrder), this, [this] { rules_.toggleRandom(); });
    randomAction_->setCheckable(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    const auto openMenu = [this](const QPoint&) {
        randomAction_->setChecked(control_.randomOrder());
        menu_->popup(QCursor::pos());
    };
    connect(this, &QWidget::customContextMenuRequested, this, openMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, openMenu);

    applyFont(listFont(settings_));
    resizeAsKept();
    refresh();
}

QFont PlaylistWindow::listFont(const AppSettings& settings) {
    const ListFont kept = svt::listFont(settings);
    QFont font(QString::fromStdString(kept.name));
    font.setPixelSize(kept.height);
    font.setWeight(QFont::Normal);
    font.setItalic(kept.italic);
    font.setFixedPitch(kept.fixedPitch);
    return font;
}

void PlaylistWindow::resizeAsKept() {
    const ScreenSize size = playlistWindowSize(settings_);
    resize(size.width, size.height);
}

void PlaylistWindow::applyFont(const QFont& font) {
    list_->setFont(font);
    model_->setLineHeight(QFontMetrics(font).height() + 2);
    // Rows are laid out once for uniform sizes; a new height needs a new layout.
    list_->reset();
}

void PlaylistWindow::changeFont() {
    if (!chooseFont) return;
    const std::optional<QFont> chosen = chooseFont(list_->font());
    if (!chosen) return;
    ListFont font;
    font.name = chosen->family().toStdString();
    font.height = chosen->pixelSize() > 0
                      ? chosen->pixelSize()
                      : QFontMetrics(*chosen).ascent() + QFontMetrics(*chosen).descent();
    font.fixedPitch = chosen->fixedPitch();
    font.italic = chosen->italic();
    keepListFont(settings_, font);
    const int row = selectedRow();
    applyFont(listFont(settings_));
    selectRow(row);
    resizeAsKept();
}

int PlaylistWindow::selectedRow() const {
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void PlaylistWindow::selectRow(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    const QModelIndex index = model_->index(row);
    list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    list_->scrollTo(index);
    updateCount();
}

void PlaylistWindow::refresh() {
    const int row = selectedRow();
    if (model_->setSnapshot(control_.playlistSnapshot()))
        selectRow(std::min(row, model_->rowCount() - 1));
    updateCount();
}

void PlaylistWindow::updateCount() {
    const PlaylistSnapshot& s = model_->snapshot();
    count_->setText(
        QString::fromStdString(playlistCountText(s.count(), s.totalSeconds, control_.language())));
}

void PlaylistWindow::playSelected() {
    rules_.playSelected(selectedRow(), list_->currentIndex().row(), model_->rowCount());
}

void PlaylistWindow::showCurrent() {
    selectRow(model_->snapshot().current);
}

void PlaylistWindow::showSearch() {
    if (!rules_.maySearch(model_->rowCount())) return;
    search_->show();
    search_->raise();
    search_->activateWindow();
    search_->edit()->setFocus();
}

void PlaylistWindow::search(bool next) {
    const std::optional<int> found = rules_.search(
        model_->snapshot(), search_->edit()->text().toStdString(), next, selectedRow());
    if (found) selectRow(*found);
}

void PlaylistWindow::toggleRandom() {
    rules_.toggleRandom();
}

bool PlaylistWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != list_ || event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    ListKey which;
    switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            which = ListKey::Play;
            break;
        case Qt::Key_Backspace:
            which = ListKey::Remove;
            break;
        case Qt::Key_Delete:
        case Qt::Key_C:
            if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
            which = ListKey::Clear;
            break;
        case Qt::Key_Escape:
            which = ListKey::Hide;
            break;
        case Qt::Key_Q:
            which = ListKey::Quit;
            break;
        default:
            return false;
    }
    switch (rules_.key(which, selectedRow(), list_->currentIndex().row())) {
        case ListAction::None:
            break;
        case ListAction::Hide:
            hide();
            break;
        case ListAction::ClearPlaylist:
            if (clearPlaylist) clearPlaylist();
            break;
        case ListAction::Quit:
            if (quit) quit();
            break;
    }
    return true;
}

void PlaylistWindow::place(const QRect& anchor) {
    ScreenRect desktop;
    const QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        desktop = {area.x(), area.y(), area.width(), area.height()};
    }
    const ScreenPoint at =
        placePlaylistWindow(settings_, {anchor.x(), anchor.y(), anchor.width(), anchor.height()},
                            desktop, {width(), height()});
    placing_ = true;
    move(at.x, at.y);
    placing_ = false;
}

void PlaylistWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (searchWasVisible_) search_->show();
    searchWasVisible_ = false;
}

void PlaylistWindow::hideEvent(QHideEvent* event) {
    searchWasVisible_ = search_->isVisible();
    search_->hide();
    QWidget::hideEvent(event);
}

void PlaylistWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (placing_ || !isVisible()) return;
    keepPlaylistPlace(settings_, {pos().x(), pos().y()});
}

void PlaylistWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!isVisible()) return;
    keepPlaylistSize(settings_, {width(), height()});
}

void PlaylistWindow::closeEvent(QCloseEvent* event) {
    // The close box hides the window; it lives as long as the main window.
    event->ignore();
    hide();
}

}  // namespace svt::gui
