#pragma once
// The desktop services with Qt: message boxes and file dialogs owned by the main window,
// QDesktopServices for pages and files, Qt Network for the one HTTP request, the session
// bus for the taskbar's progress, and the encoder's location dialog.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "base/Language.h"
#include "desktop/DesktopServices.h"

namespace svt::gui {

class LinkUpdater;

class QtDesktopServices final : public QObject, public DesktopServices {
    Q_OBJECT
  public:
    QtDesktopServices(QWidget* owner, Language language);

    void inform(const std::string& text, const std::string& caption) override;
    bool confirm(const std::string& text, const std::string& caption) override;
    FileDialogResult chooseFiles(const FileDialogRequest& request) override;
    bool openUrl(const std::string& url) override;
    bool openFile(const std::string& path) override;
    bool post(const HttpRequest& request, std::function<void(const HttpReply&)> done) override;
    void setTaskbarProgress(double progress) override;
    bool locateEncoder(std::function<bool(const std::string&)> tryPath,
                       std::function<void()> download) override;

  private:
    QPointer<QWidget> owner_;
    const Language language_;
    LinkUpdater* http_;
    std::function<void(const HttpReply&)> done_;
};

}  // namespace svt::gui
