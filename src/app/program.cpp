#include "app/program.h"

#include <unistd.h>

#include <QApplication>
#include <QPointer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/core/lifetime.h"
#include "app/core/server_list_text.h"
#include "build_config.h"
#include "monitor/poll_cycle.h"
#include "platform/echo_probe.h"
#include "platform/local_clock.h"
#include "platform/program_directory.h"
#include "ui/application_setup.h"
#include "ui/gui_gateway.h"
#include "ui/main_window.h"
#include "ui/main_window_controls.h"
#include "ui/update_dialogs.h"
#include "update/curl_http_client.h"
#include "update/update_check.h"

namespace quorvel {
namespace {

constexpr const char* kSoftwareCode = "10024";

void MakeProgramDirectoryCurrent() {
    const std::string directory = ProgramDirectory();
    // A failure costs nothing: no path the program uses is relative, the server list included.
    if (directory.empty() || chdir(directory.c_str()) != 0) {
        return;
    }
}

QApplication& CreateApplication(const char* programPath) {
    // The program takes no command-line options, so Qt sees none either. Never destroyed: the
    // process ends through _Exit while poll workers may still be running.
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(programPath), nullptr};
    auto* app = new QApplication(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(build::kProductName));
    QApplication::setApplicationVersion(QString::fromUtf8(build::kVersion));
    QApplication::setOrganizationName(QStringLiteral("Larkmere"));
    QApplication::setDesktopFileName(QStringLiteral("quorvel"));
    QApplication::setQuitOnLastWindowClosed(false);  // closing the window quits only once start-up is done
    ApplyDesktopConventions();
    return *app;
}

void RecordGuiThreadForQt() {
    RecordGuiThread(
        [](std::function<void()> work) { QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection); });
}

void CheckForUpdateAtCreation() {
    CurlHttpClient http;
    QtMessageBoxes boxes;
    DesktopAddressOpener opener;
    UpdateServices services{build::kUpdateServiceUrl, http, boxes, opener,
                            [](std::int32_t exitCode) { EndProgram(exitCode); }};
    CheckForUpdate(kSoftwareCode, build::kVersion, false, build::kHomePage, services);
}

// What the window's handlers reach. Never destroyed: poll workers that nobody joins keep using it
// until the process ends, after the window is gone.
struct Monitoring {
    GuiGateway gateway;
    std::unique_ptr<MainWindowControls> controls;
    std::unique_ptr<PollCycle> cycle;
};

MainWindow::Handlers WindowHandlers(Monitoring& monitoring) {
    MainWindow::Handlers handlers;
    handlers.created = CheckForUpdateAtCreation;
    handlers.buttonClicked = [&monitoring] { monitoring.cycle->ToggleMonitoring(); };
    handlers.timerTick = [&monitoring] { monitoring.cycle->TimerTick(); };
    return handlers;
}

// Opens the window: built hidden, created event, then shown unless the event ended the program.
QPointer<MainWindow> ProgramStart() {
    auto* monitoring = new Monitoring;
    QPointer<MainWindow> window = new MainWindow(WindowHandlers(*monitoring));
    monitoring->controls = std::make_unique<MainWindowControls>(monitoring->gateway, window);
    monitoring->cycle =
        std::make_unique<PollCycle>(MonitorServices{*monitoring->controls, SystemEchoService(), SystemLocalClock()});
    QObject::connect(window, &QObject::destroyed, qApp, [] {
        if (StartupComplete()) {
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
    });
    window->RunCreatedEvent();
    if (window) {
        window->show();
        window->activateWindow();
    }
    return window;
}

}  // namespace

void RunProgram(const char* programPath) {
    MakeProgramDirectoryCurrent();
    QApplication& app = CreateApplication(programPath);
    RecordGuiThreadForQt();
    AddExitRoutine(ProgramExit);
    const QPointer<MainWindow> window = ProgramStart();
    SetStartupComplete();
    int exitCode = 0;
    if (window) {
        exitCode = app.exec();
    }
    RunExitRoutines();
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

}  // namespace quorvel
