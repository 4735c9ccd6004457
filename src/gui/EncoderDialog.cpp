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
                             std::function<void()> download, QWidget* parent)
    : QDialog(parent), tryPath_(std::move(tryPath)) {
    setWindowTitle(tx(kProductCaption));
    setModal(true);
    inform = [this](const QString& text) {
        QMessageBox::information(this, tx(kProductCaption), text);
    };
    auto* layout = new QVBoxLayout(this);
    auto* heading =
        new QLabel(tx("The required MP3 Encoder was not found on your computer!"), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    layout->addSpacing(8);
    layout->addWidget(
        new QLabel(tx("1) Here you can download the MP3 Encoder free of charge:"), this));
    auto* downloadButton = new QPushButton(tx("Download MP3 Encoder now"), this);
    connect(downloadButton, &QPushButton::clicked, this, [download] {
        if (download) download();
    });
    layout->addWidget(downloadButton);
    layout->addSpacing(8);
    layout->addWidget(
        new QLabel(tx("2) Please enter here the path of the MP3 Encoder (gogo.dll):"), this));
    auto* row = new QHBoxLayout;
    path_ = new QLineEdit(QStringLiteral("<gogo.dll>"), this);
    path_->setMaxLength(kPathLimit);
    path_->setMinimumWidth(320);
    auto* browseButton = new QPushButton(tx("Browse..."), this);
    connect(browseButton, &QPushButton::clicked, this, &EncoderDialog::browse);
    row->addWidget(path_, 1);
    row->addWidget(browseButton);
    layout->addLayout(row);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(tx("OK"), this);
    auto* cancel = new QPushButton(tx("Cancel"), this);
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
        this, tx("Where is the MP3 Encoder Gogo?"), QString(),
        tx("File \"gogo.dll\"") + QStringLiteral(" (libgogo.so gogo.dll)"));
    if (file.isEmpty()) return;
    path_->setText(file);
    if (tryPath_ && tryPath_(file.toStdString())) QDialog::accept();
}

void EncoderDialog::accept() {
    if (tryPath_ && tryPath_(path_->text().toStdString())) {
        QDialog::accept();
        return;
    }
    if (inform) inform(tx("Please enter a valid path!"));
}

}  // namespace svt::gui
