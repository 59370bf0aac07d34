#include <gtest/gtest.h>

#include <QApplication>

#include "ui/application_setup.h"

// Widget tests run on Qt's offscreen platform unless a display is chosen explicitly.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    quorvel::ApplyDesktopConventions();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
