#pragma once
// Asked when the MP3 encoder library cannot be loaded: where to download it, and where it
// lies on this computer. OK closes the dialog only for a path the library loads from.

#include <QDialog>
#include <functional>
#include <string>

#include "base/Language.h"

class QLineEdit;

namespace svt::gui {

class EncoderDialog final : public QDialog {
    Q_OBJECT
  public:
    // `tryPath` loads the library from a path and keeps it for later; `download` opens the
    // encoder's download page.
    EncoderDialog(std::function<bool(const std::string&)> tryPath, std::function<void()> download,
                  Language language, QWidget* parent = nullptr);
    QLineEdit* pathField() const { return path_; }
    // Message boxes go through this, so tests can answer them.
    std::function<void(const QString& text)> inform;

    void accept() override;

  private:
    void browse();

    std::function<bool(const std::string&)> tryPath_;
    const Language language_;
    QLineEdit* path_;
};

}  // namespace svt::gui
