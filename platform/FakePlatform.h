// A platform that tests configure: every service records what it was asked and answers with the
// values a test put in `TFakeState`. No X server is touched.
#pragma once

#include "Platform.h"

#include <QHash>
#include <QList>
#include <QPair>

struct TFakeState {
    // display
    bool layeredWindows = true;
    QString refusalReason = QStringLiteral("no 32-bit ARGB visual");
    QList<QRect> monitors{QRect(0, 0, 1920, 1080)};
    bool placesWindows = true; // CanPlaceWindows: false plays a compositor that places windows itself
    QHash<QString, QRect> namedMonitors; // MonitorNamed, by screen name (a compositor's outputs)
    // single instance
    bool anotherInstance = false; // BecomeFirstOrHandOver answers false
    int comeForwardRequests = 0;  // how often this process asked another one
    QList<QByteArray> handedOver; // requests this process gave to the other one
    std::function<void(const QByteArray&)> requestHandler;
    // folders
    QString desktop = QStringLiteral("/tmp/vexmor-fake/Desktop");
    QString documents = QStringLiteral("/tmp/vexmor-fake/Documents");
    QString temp = QStringLiteral("/tmp");
    // autostart
    QString autostartPath; // empty: not enabled
    // shell
    QStringList openedUrls, editedFiles, recentDocuments;
    QList<QPair<QString, QStringList>> mails; // subject, attachments
    QList<QStringList> mailDetails;           // body, recipient address, recipient name
    int mailResult = 0;
    // grab
    QImage desktopImage; // what Grab copies from (Format_RGB32); null: grabbing fails
    int screenReads = 0; // calls of Grab and GrabTo (and so of the base GrabHeld), failed ones too
    TCursorImage cursor;
    bool hasCursor = false;
    int keptReleases = 0;        // calls of ReleaseKept
    bool offersBackdrop = false; // DrawBackdrop takes any held grab when set
    QList<TBackdrop> backdrops;  // what was drawn, and into which windows
    QList<quintptr> backdropWindows;
    // active window
    TForegroundWindow foreground;
    // hot keys
    struct HotKey {
        int id;
        int key;
        Qt::KeyboardModifiers modifiers;
    };
    QList<HotKey> hotKeys;
    QList<QPair<int, Qt::KeyboardModifiers>> heldByOthers; // combinations that fail to register
    QList<HotKey> refusedHotKeys; // registered but held by others: tried again on a mapping change
    std::function<void(int)> hotKeyHandler;
    std::function<void(const QList<int>&)> remapHandler;
    std::optional<QString> keysKeptBy; // KeysKeptBy: set plays a compositor that keeps every key
    // A change of the keyboard mapping: every registered combination is tried again against
    // `heldByOthers`, and the handler hears which are not ours.
    void RemapKeyboard();
    // window shape
    QList<quintptr> hiddenWindows;
    QHash<quintptr, QList<QRect>> inputRegions;   // absent: the whole window takes input
    QHash<quintptr, QList<QRect>> visibleRegions; // absent: the whole window shows
    int visibleRegionCalls = 0;
    bool compositor = true; // a compositing manager runs
    std::function<void(bool)> compositorHandler;
    // Starts or stops the compositing manager, telling the handler as the X server's notice would.
    void SetCompositor(bool on) {
        compositor = on;
        if (compositorHandler) compositorHandler(on);
    }
    // desktop offers
    TDesktopOffers offers{.tray = true, .statusNotifier = false, .notifications = true};
    QList<TDesktopNotice> notices; // what Notify was given while notifications were offered
    bool noticesRefused = false;   // the service takes the name but fails every call
    std::function<void(const TDesktopOffers&)> offersHandler;
    // A tray host or notification service comes or goes, told as the bus would tell it.
    void SetOffers(const TDesktopOffers& now) {
        offers = now;
        if (offersHandler) offersHandler(now);
    }
};

// The fake's state lives as long as the platform made with it.
std::unique_ptr<TPlatform> MakeFakePlatform(std::shared_ptr<TFakeState> state);
// Convenience for tests: installs a fresh fake platform and returns its state.
std::shared_ptr<TFakeState> InstallFakePlatform();
