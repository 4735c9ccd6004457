#include "gui/QtDesktopServices.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "gui/EncoderDialog.h"
#include "gui/LinkUpdater.h"
#include "gui/Taskbar.h"
#include "gui/Texts.h"

namespace svt::gui {
namespace {

// "Text (*.a *.b)", the form Qt's dialogs read their patterns from.
QStringList nameFilters(const std::vector<FileFilter>& filters) {
    QStringList out;
    for (const FileFilter& filter : filters) {
        QStringList patterns;
        for (const std::string& p : filter.patterns) patterns << qs(p);
        out << qs(filter.text) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
    }
    return out;
}

}  // namespace

QtDesktopServices::QtDesktopServices(QWidget* owner, Language language)
    : owner_(owner), language_(language), http_(new LinkUpdater(language, this)) {
    connect(http_, &LinkUpdater::finished, this,
            [this](bool ok, const QByteArray& body, const QString& error) {
                HttpReply reply;
                reply.ok = ok;
                reply.body = body.toStdString();
                reply.error = error.toStdString();
                // The callback may start the next request.
                const auto done = std::move(done_);
                done_ = nullptr;
                if (done) done(reply);
            });
}

void QtDesktopServices::inform(const std::string& text, const std::string& caption) {
    QMessageBox::information(owner_, qs(caption), qs(text));
}

bool QtDesktopServices::confirm(const std::string& text, const std::string& caption) {
    return QMessageBox::question(owner_, qs(caption), qs(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

FileDialogResult QtDesktopServices::chooseFiles(const FileDialogRequest& request) {
    using Mode = FileDialogRequest::Mode;
    const QString title = qs(request.title);
    const QString folder = qs(request.folder);
    const QStringList filters = nameFilters(request.filters);
    FileDialogResult result;
    switch (request.mode) {
        case Mode::OpenFiles:
            for (const QString& file : QFileDialog::getOpenFileNames(
                     owner_, title, folder, filters.join(QStringLiteral(";;"))))
                result.paths.push_back(file.toStdString());
            return result;
        case Mode::OpenFile:
        case Mode::Folder: {
            const QString chosen =
                request.mode == Mode::Folder
                    ? QFileDialog::getExistingDirectory(owner_, title, folder)
                    : QFileDialog::getOpenFileName(owner_, title, folder,
                                                   filters.join(QStringLiteral(";;")));
            if (!chosen.isEmpty()) result.paths.push_back(chosen.toStdString());
            return result;
        }
        case Mode::SaveFile:
            break;
    }
    QFileDialog dialog(owner_, title, request.suggested.empty() ? folder : qs(request.suggested));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The model asks its own question before a file is replaced.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(filters);
    if (!request.defaultSuffix.empty()) dialog.setDefaultSuffix(qs(request.defaultSuffix));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return result;
    result.paths.push_back(dialog.selectedFiles().front().toStdString());
    result.filter =
        std::max<int>(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
    return result;
}

bool QtDesktopServices::openUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(qs(url)));
}

bool QtDesktopServices::openFile(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(qs(path)));
}

bool QtDesktopServices::post(const HttpRequest& request,
                             std::function<void(const HttpReply&)> done) {
    if (http_->busy() || done_) return false;
    done_ = std::move(done);
    http_->setMaxBytes(request.maxReplyBytes);
    http_->setTimeoutMs(request.timeoutMs);
    http_->start(qs(request.url), QByteArray::fromStdString(request.body));
    return true;
}

void QtDesktopServices::setTaskbarProgress(double progress) {
    gui::setTaskbarProgress(progress);
}

bool QtDesktopServices::locateEncoder(std::function<bool(const std::string&)> tryPath,
                                      std::function<void()> download) {
    EncoderDialog dialog(std::move(tryPath), std::move(download), language_, owner_);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace svt::gui
