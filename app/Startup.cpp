#include "Startup.h"

#include "VexmorMain.h"

#include "BusService.h"
#include "CommandLine.h"

#include "Settings.h"
#include "SettingsStore.h"

#include "AllTools.h"
#include "CaptureHistory.h"
#include "Export.h"
#include "Globals.h"
#include "Languages.h"
#include "PictureEdit.h"
#include "Platform.h"
#include "Sounds.h"
#include "WinTools.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <string>
#include <utility>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP end the program through the normal exit path, so the main window's
// destruction still saves everything. The handler only writes a byte; the GUI thread does the rest.
void RouteSignalsToExit(QObject* owner) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
        char byte;
        [[maybe_unused]] ssize_t n = ::read(gSignalPipe[0], &byte, 1);
        ExitApplication();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
}

// While the event loop runs, the process ends only through the loop's return, except when the
// toolkit finds its display connection broken (the X server went away): then it calls exit(1) from
// inside the loop. What the run changed is saved, and the process leaves at once with that status,
// without tearing down windows over a connection that is gone (that crashed).
TVexmorMainForm* gLoopForm = nullptr;
pid_t gLoopPid = 0;

void LeaveForLostDisplay() {
    if (!gLoopForm || ::getpid() != gLoopPid) return;
    TVexmorMainForm* form = std::exchange(gLoopForm, nullptr);
    std::fprintf(stderr, "vexmor: the display has gone; settings saved, ending\n");
    form->SaveSettingsForLostDisplay();
    std::fflush(nullptr);
    ::_exit(1);
}

// A request of the command line, this start's own or a later start's.
void CarryOut(TVexmorMainForm& form, const TCommandLine& request) {
    switch (request.action) {
    case TCommandLine::TAction::Capture:
        form.CaptureOnRequest(request.mode, request.delayMs, request.pin);
        break;
    case TCommandLine::TAction::Settings:
        form.SettingsMenuClick();
        break;
    case TCommandLine::TAction::Edit:
        if (request.editClipboard)
            form.EditClipboardPicture();
        else
            form.EditPicture(QString::fromStdString(request.editPath));
        break;
    case TCommandLine::TAction::History:
        form.ShowHistory();
        break;
    default:
        form.ComeForward();
        break;
    }
}

// The interface language of a start that has no application object yet: the stored choice, else the
// locale's.
TInterfaceLanguage StartLanguage() {
    TSettingsStore store;
    store.Load();
    return ResolveLanguage(StoredLanguage(store));
}

void ShowRefusal(const QString& reason) {
    std::fprintf(stderr, "%s\n(%s)\n", qPrintable(TextIn(StartLanguage(), "Startup", kRefusalText)),
                 reason.toLocal8Bit().constData());
}

} // namespace

void ExitApplication() {
    if (QCoreApplication::instance()) QCoreApplication::quit();
}

namespace {

// The command lines that start nothing (help, version, a mistake): answered on the standard streams,
// help and mistakes in the interface language. -1 for every other.
int AnswerQuickly(const TCommandLine& command) {
    if (command.action == TCommandLine::TAction::Help || command.action == TCommandLine::TAction::Error) {
        const TInterfaceLanguage language = StartLanguage();
        return AnswerWithoutStarting(command, [language](const char* source) {
            return TextIn(language, "CommandLine", source).toStdString();
        });
    }
    return AnswerWithoutStarting(command);
}

// What the process sets up before anything is made.
void SetUpProcess() {
    // A capture's pictures are tens of megabytes each. Once such a block has been freed, glibc
    // raises its threshold for giving blocks mappings of their own; later pictures then come from
    // heaps that keep their size, and each capture's peak grows by a picture while the clipboard
    // holds the last one. A fixed threshold gives every picture back when it goes.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    // A write to a display, socket or pipe whose other end has gone fails with an error to handle,
    // never a signal that ends the program.
    std::signal(SIGPIPE, SIG_IGN);
    InitSystemUtilities();
    SetupFloatingPoint();
}

void SetUpApplication() {
    ApplyNumberFormat(); // the application object has just reset the C locale
    QApplication::setApplicationName(QStringLiteral("Vexmor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vexmor"));
    QApplication::setApplicationVersion(QStringLiteral(VEXMOR_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
}

// Whether this copy may not start (no windows with per-pixel alpha, no private socket folder): then
// the reason is told in a message box as well as on stderr.
bool Refuse(const TPlatformStatus& layered, TPlatform& shown) {
    if (!layered) {
        ShowRefusal(layered.reason);
        UseInterfaceLanguage(StartLanguage());
        QMessageBox::critical(nullptr, QCoreApplication::translate("Startup", kRefusalCaption),
                              QCoreApplication::translate("Startup", kRefusalText));
        return true;
    }
    if (const QString unsafe = shown.instance->Refusal(); !unsafe.isEmpty()) {
        // Neither a second copy beside the first nor a request given to another user's socket.
        UseInterfaceLanguage(StartLanguage());
        const QString text =
            QCoreApplication::translate("Startup",
                                        "Vexmor无法启动：没有只属于当前用户的文件夹来存放它的套接字（%1）。")
                .arg(unsafe);
        std::fprintf(stderr, "%s\n", qPrintable(text));
        QMessageBox::critical(nullptr, QCoreApplication::translate("Startup", kRefusalCaption), text);
        return true;
    }
    return false;
}

// A picture file that cannot be opened is told to whoever asked, with exit status 1 and no overlay,
// before a copy already running is handed the request.
bool PictureOpens(const TCommandLine& command) {
    if (command.action != TCommandLine::TAction::Edit || command.editClipboard) return true;
    const QString path = QString::fromStdString(command.editPath);
    UseInterfaceLanguage(StartLanguage());
    const TPictureLoad load = LoadPictureFile(path);
    if (!load.picture.Empty()) return true;
    const QString text = PictureFailureText(QFileInfo(path).fileName(), load.failure);
    std::fprintf(stderr, "vexmor: %s\n", qPrintable(text));
    return false;
}

// The first copy's life: the hidden main window, its own command line carried out, later starts'
// and the session bus's requests taken, until the loop ends. Returns the loop's exit status.
int RunFirstCopy(QApplication& app, TPlatform& shown, const TCommandLine& command) {
    SoundFolder = FindSoundFolder(QCoreApplication::applicationDirPath());
    RouteSignalsToExit(&app);
    // The end of the desktop session takes the same way out.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                     [](QSessionManager&) { ExitApplication(); });
    // Created hidden. Its tabs are made when first needed: a program waiting in the tray keeps no
    // fonts or controls it does not show.
    TVexmorMainForm mainForm(TVexmorMainForm::TControlsAt::FirstUse);
    shown.instance->SetRequestHandler([&mainForm](const QByteArray& line) {
        TCommandLine request;
        if (ParseRequest(line.toStdString(), request)) CarryOut(mainForm, request);
    });
    // This copy carries out its own command line as it would a later start's request.
    if (command.action != TCommandLine::TAction::None)
        CarryOut(mainForm, command);
    else if (!command.tray)
        mainForm.StartCapture(TCaptureMode::Desktop);
    // The session bus is joined once the loop runs, so neither the start nor a capture at launch waits
    // for it. A copy the bus started for a call takes the name here, and the call is delivered.
    QTimer::singleShot(0, &mainForm, [&mainForm] {
        StartBusService(
            {[&mainForm](TCaptureMode mode, int delayMs) { mainForm.CaptureOnRequest(mode, delayMs); },
             [&mainForm] { mainForm.SettingsMenuClick(); },
             [&mainForm](const QString& path) { return mainForm.EditPicture(path); }},
            &mainForm);
    });
    // Pictures half written by a copy that was killed leave hidden temporaries in the folders it
    // writes to; they go once this copy is up (never ones another writer still holds).
    QTimer::singleShot(0, &app, [] {
        RemoveStaleTemporaries({SpecialFolder(TSpecialFolder::Desktop), WorkFolder(false),
                                WorkFolder(false) + HistoryFolderName(), QDir::tempPath()});
    });
    static const bool leaveRegistered = std::atexit(LeaveForLostDisplay) == 0;
    if (leaveRegistered) {
        gLoopForm = &mainForm;
        gLoopPid = ::getpid();
    }
    const int exitCode = app.exec();
    // Asked to end just as the display went (the session's end takes both): the same way out.
    if (shown.display->ConnectionLost()) LeaveForLostDisplay();
    gLoopForm = nullptr;
    return exitCode;
}

} // namespace

int RunVexmor(int argc, char** argv) {
    // Keep the raw arguments: Qt removes the ones it understands.
    const TCommandLine command =
        ParseCommandLine(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    if (const int status = AnswerQuickly(command); status >= 0) return status;
    // A picture to edit is read here first (see PictureOpens); everything else goes to a copy already
    // running before anything is made here: no display connection, no application object, no fonts,
    // no settings.
    const bool readPictureFirst = command.action == TCommandLine::TAction::Edit && !command.editClipboard;
    if (!readPictureFirst && Platform().instance->HandOver(QByteArray::fromStdString(command.Request())))
        return 0;

    SetUpProcess();
    const TPlatformStatus layered = ChooseDisplayPlatform();
    TPlatform& shown = Platform();
    // Without a display of either kind there is nothing to show a box on: the refusal goes to stderr.
    if (!layered && shown.name != QLatin1String("fake") &&
        (shown.name == QLatin1String("wayland") || qEnvironmentVariableIsEmpty("DISPLAY"))) {
        ShowRefusal(layered.reason);
        DoneSystemUtilities();
        return 1;
    }
    int exitCode = 0;
    {
        QApplication app(argc, argv);
        SetUpApplication();
        if (Refuse(layered, shown) || !PictureOpens(command))
            exitCode = 1;
        else if (shown.instance->BecomeFirstOrHandOver(QByteArray::fromStdString(command.Request())))
            exitCode = RunFirstCopy(app, shown, command);
        // else a copy that started at the same moment took the request
    }
    DoneSystemUtilities();
    return exitCode;
}
