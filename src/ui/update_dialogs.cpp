#include "ui/update_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QThread>
#include <QUrl>

#include "ui/qt_text.h"

namespace quorvel {

namespace {

// Widgets exist only with a QApplication and only on its thread; elsewhere creating a box would abort.
[[nodiscard]] bool CanShowBox() {
    const auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app != nullptr && QThread::currentThread() == app->thread();
}

[[nodiscard]] BoxAnswer AnswerFrom(int result) {
    switch (result) {
        case QMessageBox::Ok:
            return BoxAnswer::Ok;
        case QMessageBox::Yes:
            return BoxAnswer::Yes;
        case QMessageBox::No:
            return BoxAnswer::No;
        default:
            return BoxAnswer::None;
    }
}

// No parent: the main window is not shown yet while the check runs, and the box must not depend on it.
void PrepareBox(QMessageBox& box, const std::string& text, const std::string& title) {
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(ToQString(title));
    // The release notes come from the network; they must not be read as rich text.
    box.setTextFormat(Qt::PlainText);
    box.setText(ToDisplayLines(text));
}

}  // namespace

BoxAnswer QtMessageBoxes::ShowError(const std::string& text, const std::string& title) {
    if (!CanShowBox()) {
        return BoxAnswer::None;
    }
    QMessageBox box;
    PrepareBox(box, text, title);
    box.setIcon(QMessageBox::Warning);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    return AnswerFrom(box.exec());
}

BoxAnswer QtMessageBoxes::AskYesNo(const std::string& text, const std::string& title) {
    if (!CanShowBox()) {
        return BoxAnswer::None;
    }
    QMessageBox box;
    PrepareBox(box, text, title);
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return AnswerFrom(box.exec());
}

void DesktopAddressOpener::Open(const std::string& address) {
    // Whether the desktop managed to open it is of no interest to the caller.
    QDesktopServices::openUrl(QUrl(ToQString(address)));
}

}  // namespace quorvel
