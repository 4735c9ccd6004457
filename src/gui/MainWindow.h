#pragma once
// The main window: menu bar, image buttons, the player panel and the sixteen channel rows
// (full form), or position, time, title and path only (compact form, for songs given on the
// command line). It draws what the engine thread's panel view says and hands clicks, keys and
// bar movements to the desktop model (MainWindowModel, PanelBars), showing what comes back;
// it never waits for the engine.

#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <QStyle>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "desktop/AppSettings.h"
#include "desktop/DesktopServices.h"
#include "desktop/FrontControl.h"
#include "desktop/MainWindowModel.h"
#include "desktop/PanelBars.h"
#include "desktop/PanelState.h"
#include "gui/PlaylistWindow.h"
#include "gui/Texts.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QScrollBar;
class QTimer;
class QToolButton;
class QAction;
class QActionGroup;
class QMenu;

namespace svt::gui {

class ChannelMeters;

// The window's link to the engine thread: the engine's calls become queued signals.
class WindowLink final : public QObject, public FrontView {
    Q_OBJECT
  public:
    WindowLink();
    void panelChanged() override { Q_EMIT panelChangedSignal(); }
    void showMessage(FrontMessage message, const std::string& argument) override {
        Q_EMIT messageSignal(message, argument);
    }
    void closeWindow() override { Q_EMIT closeSignal(); }
    void playlistChanged() override { Q_EMIT playlistChangedSignal(); }
    void conversionEnded(const ConversionEnd& end) override { Q_EMIT conversionEndedSignal(end); }
    void mediaListWritten(const std::string& path) override { Q_EMIT mediaListSignal(path); }
  Q_SIGNALS:
    void panelChangedSignal();
    void messageSignal(svt::FrontMessage message, std::string argument);
    void closeSignal();
    void playlistChangedSignal();
    void conversionEndedSignal(svt::ConversionEnd end);
    void mediaListSignal(std::string path);
};

class MainWindow final : public QMainWindow {
    Q_OBJECT
  public:
    using Form = WindowForm;

    // Dialogs, message boxes and the desktop's applications go through `services`; without
    // one the window brings its own Qt implementation (tests pass theirs).
    MainWindow(FrontControl& control, AppSettings& settings, Form form,
               const std::string& soundFontName, DesktopServices* services = nullptr,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    MainWindowModel& model() { return model_; }
    Form form() const { return model_.form(); }
    // Takes the engine's latest view and shows what changed.
    void refreshPanel();
    // Places the window from "UIMainX"/"UIMainY" on its screen's available area.
    void placeFromSettings();
    PlaylistWindow* playlistWindow() const { return playlistWindow_; }
    // Opens files as the open dialog would (also used for the command line).
    void openPaths(const QStringList& paths);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    QString t(UiText id) const { return tx(id, control_.language()); }
    void buildMenus();
    QWidget* buildFullPanel();
    QWidget* buildCompactPanel();
    QToolButton* imageButton(const QIcon& icon, const QString& tooltip,
                             const std::function<void()>& action);
    void watchBar(QScrollBar* bar, PanelBar which, QLineEdit* field);
    void showEcho(const BarEcho& echo, QLineEdit* field);
    void applyView(const PanelView& view);
    void tintTransportIcons();
    static void showImage(QToolButton* button, const std::array<QIcon, 2>& images, bool second);
    void setSongControlsEnabled(bool enabled);
    void showOpenedFields(const std::optional<OpenedFields>& fields);
    void showProgress(const ProgressView& progress);
    void act(WindowAction action);
    void togglePlaylistWindow();
    void showPlaylistWindow();
    void showDragDropFormat();
    void fillRecentMenu(QMenu* menu);
    void fillLinkMenus();

    FrontControl& control_;
    AppSettings& settings_;
    std::unique_ptr<DesktopServices> ownServices_;
    MainWindowModel model_;
    PanelBars bars_;
    WindowLink link_;
    QTimer* refreshTimer_ = nullptr;
    QPointer<PlaylistWindow> playlistWindow_;
    bool playlistWasVisible_ = false;

    // Fields.
    QLineEdit* title_ = nullptr;
    QLineEdit* path_ = nullptr;
    QLineEdit* playlist_ = nullptr;
    QLineEdit* time_ = nullptr;
    QScrollBar* positionBar_ = nullptr;
    QLineEdit* measure_ = nullptr;
    QScrollBar* volumeBar_ = nullptr;
    QLineEdit* volumeNumber_ = nullptr;
    QLineEdit* newTempo_ = nullptr;
    QLineEdit* originalTempo_ = nullptr;
    QScrollBar* tempoBar_ = nullptr;
    QScrollBar* transposeBar_ = nullptr;
    QLineEdit* semitones_ = nullptr;
    QComboBox* keyBox_ = nullptr;
    QLineEdit* originalKey_ = nullptr;
    QLineEdit* meter_ = nullptr;
    QLabel* soundFont_ = nullptr;
    std::array<QCheckBox*, 16> mutes_{};
    std::array<QComboBox*, 16> instruments_{};
    std::array<QLineEdit*, 16> trackNames_{};
    ChannelMeters* meters_ = nullptr;
    // The transport buttons and their symbols, tinted for the scheme in use.
    std::vector<QToolButton*> transportButtons_;
    std::vector<QStyle::StandardPixmap> transportIcons_;
    QToolButton* playButton_ = nullptr;
    QToolButton* pauseButton_ = nullptr;
    QToolButton* loopButton_ = nullptr;
    std::array<QIcon, 2> playImages_, pauseImages_, loopImages_;
    std::vector<QAction*> dragDropFormats_;
    QMenu* linksMenu_ = nullptr;
    QMenu* downloadsMenu_ = nullptr;  // the "Drag and Drop" entries, one per format

    bool keyBoxGuard_ = false;
    FILE* timeLog_ = nullptr;

  public:
    // For tests: the widgets by role.
    QScrollBar* positionBar() const { return positionBar_; }
    QScrollBar* volumeBar() const { return volumeBar_; }
    QScrollBar* tempoBar() const { return tempoBar_; }
    QScrollBar* transposeBar() const { return transposeBar_; }
    QLineEdit* timeField() const { return time_; }
    QLineEdit* semitonesField() const { return semitones_; }
    QLineEdit* newTempoField() const { return newTempo_; }
    QLineEdit* volumeField() const { return volumeNumber_; }
    QComboBox* keyBox() const { return keyBox_; }
    ChannelMeters* meters() const { return meters_; }
    QToolButton* playButton() const { return playButton_; }
    QToolButton* loopButton() const { return loopButton_; }
};

}  // namespace svt::gui
