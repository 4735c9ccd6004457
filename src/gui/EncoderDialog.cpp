#include "gui/EncoderDialog.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "gui/Texts.h"

namespace svt::gui {
namespace {

constexpr int kPathLimit = 260;

}  // namespace

EncoderDialog::EncoderDialog(std::function<bool(const std::string&)> tryPath,
                             std::function<void()> download, Language language, QWidget* parent)
    : QDialog(parent), tryPath_(std::move(tryPath)), language_(language) {
    setWindowTitle(tx(UiText::ProductCaption, language_));
    setModal(true);
    inform = [this](const QString& text) {
        QMessageBox::information(this, tx(UiText::ProductCaption, language_), text);
    };
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(tx(UiText::EncoderMissing, language_), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    layout->addSpacing(8);
    // Without a real download address there is nothing to offer here.
    if (download) {
        layout->addWidget(new QLabel(tx(UiText::EncoderDownloadHere, language_), this));
        auto* downloadButton = new QPushButton(tx(UiText::EncoderDownloadNow, language_), this);
        connect(downloadButton, &QPushButton::clicked, this, [download] { download(); });
        layout->addWidget(downloadButton);
        layout->addSpacing(8);
    }
    layout->addWidget(new QLabel(tx(UiText::EncoderEnterPath, language_), this));
    auto* row = new QHBoxLayout;
    path_ = new QLineEdit(QStringLiteral("<gogo.dll>"), this);
    path_->setMaxLength(kPathLimit);
    path_->setMinimumWidth(320);
    auto* browseButton = new QPushButton(tx(UiText::Browse, language_), this);
    connect(browseButton, &QPushButton::clicked, this, &EncoderDialog::browse);
    row->addWidget(path_, 1);
    row->addWidget(browseButton);
    layout->addLayout(row);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(tx(UiText::Ok, language_), this);
    auto* cancel = new QPushButton(tx(UiText::Cancel, language_), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &EncoderDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void EncoderDialog::browse() {
    const QString file = QFileDialog::getOpenFileName(
        this, tx(UiText::WhereIsEncoder, language_), QString(),
        tx(UiText::EncoderFileFilter, language_) + QStringLiteral(" (libgogo.so gogo.dll)"));
    if (file.isEmpty()) return;
    path_->setText(file);
    if (tryPath_ && tryPath_(file.toStdString())) QDialog::accept();
}

void EncoderDialog::accept() {
    if (tryPath_ && tryPath_(path_->text().toStdString())) {
        QDialog::accept();
        return;
    }
    if (inform) inform(tx(UiText::EnterValidPath, language_));
}

}  // namespace svt::gui
