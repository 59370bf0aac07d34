#include "ui/application_setup.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace quorvel {
namespace {

constexpr int kFontPixelSize = 12;  // 9 pt at 96 dpi: the window's pixel layout is measured for it

}  // namespace

void ApplyDesktopConventions() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(kFontPixelSize);
    QApplication::setFont(font);
    auto* translator = new QTranslator(qApp);
    if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(translator);
    }
}

}  // namespace quorvel
