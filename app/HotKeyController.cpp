#include "HotKeyController.h"

#include "Input.h"
#include "Platform.h"

#include <QPointer>
#include <QTimer>

#include <cstdio>

namespace {
// How long the message shows, and how often and how many times a tray not there yet is looked for.
constexpr int kMessageMs = 15000, kLookMs = 2000, kLooks = 60;
// The hot-key identifiers: one per capture mode.
constexpr int kHotKeyCount = 3;
} // namespace

THotKeyController::THotKeyController(QObject* window, TWiring wiring)
    : window_(window), wiring_(std::move(wiring)) {}

void THotKeyController::RegisterHotKeys(int choice, int customCode) {
    UnregisterHotKeys();
    if (!Platform().Can(TCapability::GlobalKeys)) return;
    IHotKeys* keys = Platform().hotKeys.get();
    keys->SetHandler([this](int id) { HotKeyPressed(id); });
    keys->SetRemapHandler([this](const QList<int>& notOurs) {
        QList<THotKeyRegistration> held;
        for (const THotKeyRegistration& r : hotKeys_)
            if (notOurs.contains(r.id)) held << r;
        ReportHeldHotKeys(held);
    });
    hotKeys_ = HotKeyRegistrations(choice, customCode & 0xFFFF);
    QList<THotKeyRegistration> held;
    for (const THotKeyRegistration& r : hotKeys_)
        if (keys->Register(r.id, r.qtKey, r.modifiers) == THotKeyGrab::Held) held << r;
    ReportHeldHotKeys(held);
}

void THotKeyController::UnregisterHotKeys() {
    for (int id = 0; id < kHotKeyCount; ++id)
        Platform().hotKeys->Unregister(id);
}

void THotKeyController::Close() {
    UnregisterHotKeys();
    Platform().hotKeys->SetRemapHandler(nullptr);
}

QString THotKeyController::HeldText(const QList<THotKeyRegistration>& held) {
    return HeldHotKeysText(held, Platform().hotKeys->KeysKeptBy());
}

void THotKeyController::RetranslateTexts() {
    heldKeysText_ = HeldText(heldKeys_);
}

void THotKeyController::ReportHeldHotKeys(const QList<THotKeyRegistration>& held) {
    heldKeys_ = held;
    heldKeysText_ = HeldText(held);
    wiring_.heldChanged(heldKeysText_, !held.isEmpty());
    TellHeldHotKeys();
}

// Once per start the user is told which keys are held: in the tray icon's balloon, or where the
// desktop has no tray in its notifications. A tray that is not there yet (a panel starting after the
// program) is looked for again every two seconds for two minutes; the icon docks a moment after the
// tray appears, so the message waits one more look. Without either at the end, it goes to stderr.
void THotKeyController::TellHeldHotKeys() {
    if (!heldKeysTold_ && !heldKeysText_.isEmpty()) {
        const QString title = QStringLiteral("Vexmor");
        const bool waited = trayWait_ && trayWait_->isActive();
        // A notification service that fails the call puts the message back to wait for a tray. This
        // controller lives exactly as long as the window `self` watches.
        auto failed = [this, self = QPointer<QObject>(window_)] {
            if (!self) return;
            heldKeysTold_ = false;
            TellHeldHotKeys();
        };
        if (wiring_.tellUser(title, heldKeysText_, kMessageMs, waited, failed))
            heldKeysTold_ = true;
        else if (!trayWait_ || (!trayWait_->isActive() && trayWaits_ < kLooks))
            WaitForTray();
    }
    if (trayWait_ && (heldKeysTold_ || heldKeysText_.isEmpty())) trayWait_->stop();
}

void THotKeyController::WaitForTray() {
    if (!trayWait_) {
        trayWait_ = new QTimer(window_);
        trayWait_->setInterval(kLookMs);
        QObject::connect(trayWait_, &QTimer::timeout, window_, [this] {
            const bool last = ++trayWaits_ >= kLooks;
            if (last) trayWait_->stop();
            TellHeldHotKeys();
            if (last && !heldKeysTold_ && !heldKeysText_.isEmpty()) {
                std::fprintf(stderr, "vexmor: %s\n", qPrintable(heldKeysText_));
                heldKeysTold_ = true;
            }
        });
    }
    trayWait_->start();
}

void THotKeyController::HotKeyPressed(int id) {
    if (const std::optional<TCaptureMode> mode = CaptureModeFromInt(id)) CaptureKey(*mode);
}

void THotKeyController::CaptureKey(TCaptureMode mode) {
    if (InputForm)
        InputForm->FinishCapture();
    else
        wiring_.startCapture(mode);
}
