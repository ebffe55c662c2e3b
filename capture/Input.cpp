#include "Input.h"

#include "Agg_2D_DIB.h"
#include "CaptureTiming.h"
#include "CatchStep.h"
#include "Compose.h"
#include "HelpCard.h"
#include "LastRegion.h"
#include "OverlayDrags.h"
#include "OverlayPaint.h"
#include "Globals.h"
#include "Platform.h"
#include "Sounds.h"
#include "WinTools.h"
#include "DibOps.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QPaintEvent>
#include <QScreen>
#include <QWheelEvent>
#include <QWindow>

#include <QTimer>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <utility>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>

namespace {
uint64_t PackPoint(int x, int y) {
    return uint64_t(uint32_t(x)) << 32 | uint32_t(y);
}
QPoint UnpackPoint(uint64_t v) {
    return QPoint(int32_t(uint32_t(v >> 32)), int32_t(uint32_t(v)));
}

int TruncToInt(float v) {
    if (!(v > -2.0e9f && v < 2.0e9f)) return v > 0 ? 2000000000 : -2000000000;
    return int(v);
}
} // namespace

QRect TPickRect::Normalised() const {
    const int l = std::min(x1, x2), t = std::min(y1, y2);
    const int r = std::max(x1, x2) + 1, b = std::max(y1, y2) + 1;
    return QRect(l, t, r - l, b - t);
}

// --- starting -----------------------------------------------------------------------------------------

namespace {
void TellCaptureFailed(const QString& reason) {
    const QString text = QCoreApplication::translate("Input", "无法捕获屏幕：%1").arg(reason);
    // Also where a session keeps its programs' output: a message box may be hidden behind a dialog.
    std::fprintf(stderr, "vexmor: %s\n", qPrintable(text));
    if (CaptureFailedHook) {
        CaptureFailedHook(text);
        return;
    }
    // Not modal: the key or command that asked for the capture is answered at once.
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Vexmor"), text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}
} // namespace

namespace {
void PlayStartSound() {
    if (OverlaySoundHook)
        OverlaySoundHook(QStringLiteral("Cap.wav"), 0);
    else
        PlayOverlaySound(QStringLiteral("Cap.wav"), 0);
}

// Takes the region of the last capture again at once, without the overlay, and hands the result to
// the owner as a confirmed overlay would. False when nothing is remembered or nothing of it lies on
// the desktop as it is now: the overlay then opens as usual.
bool CaptureLastRegion(ICaptureOwner* owner, bool pin) {
    const std::optional<TCaptureRegion> region = LoadLastRegion();
    if (!region) return false;
    const QRect desktop = Platform().display->DesktopBounds();
    if (!region->bounds.ToRect().intersects(desktop)) return false;
    const auto start = TCaptureClock::now();
    TDesktopGrab grab = GrabDesktop(TCaptureMode::Desktop, owner->CaptureCursorSetting());
    const auto grabbed = TCaptureClock::now();
    if (grab.image.Empty() || grab.withdrawn) return true;
    if (!grab.failure.isEmpty()) {
        TellCaptureFailed(grab.failure);
        return true;
    }
    PlayStartSound();
    owner->DiscardCapture();
    QString title, comment;
    if (owner->AutoTitleSetting()) GetForegroundTitle(title, comment);
    owner->SetCaptureTexts(title, comment);
    std::vector<CaptureShape> shapes{SelectionOfRegion(*region, grab.desktopBounds.topLeft())};
    TComposedCapture c;
    try {
        c = ComposeCapture(grab.image, grab.grabbedRect, std::move(shapes), 6, InkColor);
    } catch (const std::exception&) {
        return true; // out of memory for the images: nothing to hand over
    }
    const QPoint desktopOrigin = grab.desktopBounds.topLeft();
    grab = TDesktopGrab{}; // the desktop's pixels go before the after-capture work
    if (c.captureImage.Empty()) return true;
    const auto composed = TCaptureClock::now();
    owner->StoreCapture(c.captureImage, c.flatImage, c.previewImage, c.previewOrigin,
                        c.outputRect.translated(desktopOrigin));
    if (pin)
        owner->PinCapture();
    else
        owner->CaptureFinished();
    CaptureTimingLine("last region: grab %.1f ms, compose %.1f ms, after-capture action %.1f ms",
                      MsBetween(start, grabbed), MsBetween(grabbed, composed), MsSince(composed));
    return true;
}
} // namespace

void StartCapture(TCaptureMode mode, ICaptureOwner* owner, bool pin) {
    if (InputForm || !owner) return;
    // A capture asked for while the last one still waits for the desktop (its permission dialog
    // unanswered) takes that one back instead: the key, pressed again, is the way out of the wait.
    if (GrabbingDesktop()) {
        Platform().grabber->Withdraw();
        return;
    }
    if (mode == TCaptureMode::LastRegion) {
        if (CaptureLastRegion(owner, pin)) return;
        mode = TCaptureMode::Desktop;
    }
    const bool text = mode == TCaptureMode::Text;
    if (text) mode = TCaptureMode::Desktop;
    const auto requested = TCaptureClock::now();
    const auto requestedWall = std::chrono::system_clock::now();
    // Every start shows the grabbed rows at once (the magnifier its magnified part of them) and
    // narrows them into the picture while the first frame is on screen.
    TDesktopGrab grab = GrabDesktop(mode, owner->CaptureCursorSetting(), true);
    if (grab.image.Empty() || grab.withdrawn) return;
    if (!grab.failure.isEmpty()) {
        // Nothing was read from the screen: an overlay would show a black desktop as if it were one.
        TellCaptureFailed(grab.failure);
        return;
    }
    const auto tGrab = TCaptureClock::now();
    // A text capture leaves the capture held, and its name, as they are.
    if (!text) {
        owner->DiscardCapture();
        QString title, comment;
        if (owner->AutoTitleSetting()) GetForegroundTitle(title, comment);
        owner->SetCaptureTexts(title, comment);
    }
    owner->HideForCapture();
    const auto tOwner = TCaptureClock::now();
    auto* form = new TInputForm(std::move(grab), owner, OverlayWorkerRuns);
    const auto tForm = TCaptureClock::now();
    form->requested_ = requested;
    form->holdSounds_ = true;
    form->PinOnConfirm = pin;
    form->TextOnConfirm = text;
    InputForm = form;
    if (mode == TCaptureMode::Magnifier) {
        // The zoom sets off from the first frame on screen.
        form->holdView_.store(true);
        form->MagnifierMode = true;
        form->SetZoom(8, true);
        form->PickUnderPointer();
    } else {
        form->PlaySound(QStringLiteral("Cap.wav"), 0);
    }
    form->ShowOverlay();
    // The wall-clock time of the request lets a watcher of the X server's events time the map.
    CaptureTimingLine("grab %.1f ms, owner %.1f ms, overlay made %.1f ms, shown %.1f ms; requested at %.6f s",
                      MsBetween(requested, tGrab), MsBetween(tGrab, tOwner), MsBetween(tOwner, tForm),
                      MsSince(tForm),
                      std::chrono::duration<double>(requestedWall.time_since_epoch()).count());
}

// --- the worker -------------------------------------------------------------------------------------

void TCatchThread::run() {
    while (!isInterruptionRequested()) {
        form_->CatchStep();
        QThread::msleep(10);
    }
    finished_.store(true, std::memory_order_release);
}

void TCatchThread::Stop() {
    requestInterruption();
    wait();
    // The flag makes the hand-over visible to tools that cannot see inside the framework's own thread
    // bookkeeping (the wait alone already guarantees it).
    [[maybe_unused]] const bool finished = finished_.load(std::memory_order_acquire);
}

// --- paint box ----------------------------------------------------------------------------------------

void TCapBox::paintEvent(QPaintEvent* e) {
    paintRect_ = e->rect();
    TQuickPaintBox::paintEvent(e);
}

void TCapBox::mousePressEvent(QMouseEvent* e) {
    if (OnMouseDown) OnMouseDown(e, false);
}

void TCapBox::mouseDoubleClickEvent(QMouseEvent* e) {
    if (OnMouseDown) OnMouseDown(e, true);
}

void TCapBox::mouseMoveEvent(QMouseEvent* e) {
    if (OnMouseMove) OnMouseMove(e);
}

void TCapBox::mouseReleaseEvent(QMouseEvent* e) {
    if (OnMouseUp) OnMouseUp(e);
}

// --- creation and destruction -----------------------------------------------------------------------

TInputForm::TInputForm(TDesktopGrab grab, ICaptureOwner* owner, bool startWorker) : owner_(owner) {
    // The title in the interface language: a desktop that lists every window (an overview, a window
    // switcher) shows it. Window tools find the overlay by its role instead, which no language changes;
    // on X11 it is the window's WM_WINDOW_ROLE. The role is given before the window is made.
    setWindowTitle(QCoreApplication::translate("Input", "屏幕捕获覆盖"));
    setWindowRole(QString::fromLatin1(kOverlayWindowRole));
    // On top of everything, panels included, without a taskbar entry; the window manager leaves it alone.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint |
                   Qt::X11BypassWindowManagerHint);
    ConstrainToDesktop = false;
    setFont(QFont(QStringLiteral("宋体"), -1));
    {
        QFont f = font();
        f.setPixelSize(11);
        setFont(f);
    }
    setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);

    DesktopBounds = grab.desktopBounds;
    DesktopImage = grab.image;
    GrabbedRect = grab.grabbedRect;
    if (grab.Pending())
        pending_ = std::move(grab); // shares DesktopImage's pixels, which the filler writes
    else
        filled_ = true;
    AnimTimer.setInterval(16);
    AnimTimer.setTimerType(Qt::PreciseTimer);
    connect(&AnimTimer, &QTimer::timeout, this, [this] { AnimTimerTimer(); });
    ScreenToImage = -DesktopBounds.topLeft();
    const int w = DesktopImage.Width(), h = DesktopImage.Height();

    OverlayBuffer.SetSize(std::max(w, 1), std::max(h, 1), 32);
    Shapes.resize(1);
    HelpCardRect = QRect(w - HelpCardWidth - 16, (h - HelpCardHeight) / 2, HelpCardWidth, HelpCardHeight);
    HelpCard = CurrentHelpCard();

    SetUpLayer();
    SetUpCapBox();
    SetUpServices();

    QPoint cursor;
    if (GetCursorPos(cursor)) SetPointer(cursor.x() + ScreenToImage.x(), cursor.y() + ScreenToImage.y());
    PlaceStrip();

    // Switching to another application confirms, as the window's own deactivation does.
    appStateHook_ =
        connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
            if (s != Qt::ApplicationActive && wasActive_) FinishCapture();
        });

    if (startWorker) {
        CatchThread = std::make_unique<TCatchThread>(this);
        CatchThread->start(QThread::HighPriority);
    }
}

void TInputForm::SetUpLayer() {
    Painter = std::make_unique<TAgg2D>();
    Painter->Attach(OverlayBuffer);
    Painter->SetLineCap(AggLineCap::Round);
    Painter->SetLineJoin(AggLineJoin::Round);
    OutlineStroke = std::make_unique<TAggDashStroke>(Painter->Curve());
    OutlineStroke->SetDash(10, 12);
    OutlineStroke->SetDashStart(4);
    OutlineStroke->SetWidth(9);
    OutlineStroke->SetCap(AggLineCap::Round);
    OutlineStroke->SetJoin(AggLineJoin::Round);
}

void TInputForm::SetUpCapBox() {
    capBox_ = new TCapBox(this);
    capBox_->OnPaint = [this](TQuickPaintBox*) { CapBoxPaint(); };
    ConnectCapBox(capBox_, 0);
}

// A paint box's mouse, in the client coordinates of its view.
void TInputForm::ConnectCapBox(TCapBox* box, int view) {
    box->setMouseTracking(true);
    box->setAttribute(Qt::WA_OpaquePaintEvent);
    box->OnMouseDown = [this, view](QMouseEvent* e, bool dbl) {
        const QPoint c = ClientFromEvent(e->position(), view);
        if (dbl) {
            // Qt reports the second press of a double click as a press, then as a double click: the
            // press started a pan, which the double click turns into a pick drag.
            if (DragMode() != dmPan || e->button() != Qt::LeftButton) return;
            drag_.reset();
        }
        CapBoxMouseDown(e->button(), e->modifiers(), c.x(), c.y(), dbl);
    };
    box->OnMouseMove = [this, view](QMouseEvent* e) {
        const QPoint c = ClientFromEvent(e->position(), view);
        CapBoxMouseMove(e->modifiers(), c.x(), c.y());
    };
    box->OnMouseUp = [this, view](QMouseEvent* e) {
        const QPoint c = ClientFromEvent(e->position(), view);
        CapBoxMouseUp(e->button(), e->modifiers(), c.x(), c.y());
    };
}

namespace {

// Where the compositor places each window on its own output (Wayland), an overlay window shows one
// monitor: the device pixels of that monitor per logical pixel of its screen.
double MonitorScale(const QRect& monitor, const QRect& logical, double frameworkRatio) {
    // The framework's ratio is the compositor's whole buffer scale, rounded up from a fractional one
    // (a 1.25 or 1.5 output says 2): the monitor's device pixels over its screen's logical ones are
    // the scale the compositor really shows it at.
    if (!monitor.isEmpty() && !logical.isEmpty()) return double(monitor.width()) / logical.width();
    return frameworkRatio > 0 ? frameworkRatio : 1.0;
}

QPoint DevicePixelOf(const QPointF& logical, double scale) {
    // The device pixel the hot spot at a logical point lies in, as the compositor draws the pointer:
    // floor(p * s). Logical point 1 on a 1.25 output is device 1.25, pixel 1; a point on a pixel's edge
    // (1.5 * 2) is that pixel, within a rounding error.
    constexpr double eps = 1e-6;
    return QPoint(int(std::floor(logical.x() * scale + eps)), int(std::floor(logical.y() * scale + eps)));
}

} // namespace

// The pointer, sounds and monitors of the real desktop.
void TInputForm::SetUpServices() {
    GetCursorPos = [this](QPoint& screen) {
        screen = ScreenFromGlobal(QCursor::pos());
        return true;
    };
    SetCursorPos = [](const QPoint& screen) {
        // A Wayland client cannot move the pointer.
        if (!Platform().Can(TCapability::PlaceWindows)) return;
        QScreen* s = QGuiApplication::primaryScreen();
        const double dpr = s ? s->devicePixelRatio() : 1.0;
        QCursor::setPos(qRound(screen.x() / dpr), qRound(screen.y() / dpr));
    };
    PointerPos = [](QPoint& screen) {
        TCursorImage cursor;
        if (!Platform().grabber->Cursor(cursor).ok) return false;
        screen = QPoint(cursor.x, cursor.y);
        return true;
    };
    PlaySound = [this](const QString& name, unsigned flags) {
        if (holdSounds_)
            heldSounds_.emplace_back(name, flags);
        else if (OverlaySoundHook)
            OverlaySoundHook(name, flags);
        else
            PlayOverlaySound(name, flags);
    };
    Monitors = []() { return Platform().display->Monitors(); };
}

TInputForm::~TInputForm() {
    StopWorker();
    WaitForDesktop();
    if (InputForm == this) InputForm = nullptr;
    disconnect(appStateHook_);
#if defined(__GLIBC__)
    // The overlay's images and window surface are tens of megabytes; once the window itself is gone
    // (after this destructor), hand the freed memory back so that the idle program shrinks again.
    if (QCoreApplication* app = QCoreApplication::instance())
        QTimer::singleShot(0, app, [] { malloc_trim(0); });
#endif
}

void TInputForm::StopWorker() {
    if (!CatchThread) return;
    CatchThread->Stop();
    CatchThread.reset();
}

bool TInputForm::WorkerRunning() const {
    return CatchThread && CatchThread->isRunning();
}

QPoint TInputForm::ScreenFromGlobal(const QPoint& global) const {
    // Where the compositor lays out the monitors, each screen's logical pixels are its monitor's
    // device pixels divided by its scale.
    if (!Platform().Can(TCapability::PlaceWindows)) {
        for (QScreen* s : QGuiApplication::screens()) {
            if (!s->geometry().contains(global)) continue;
            const QRect m = Platform().display->MonitorNamed(s->name());
            if (m.isEmpty()) break;
            const double f = MonitorScale(m, s->geometry(), s->devicePixelRatio());
            const QPointF in = global - s->geometry().topLeft();
            return m.topLeft() + DevicePixelOf(in, f);
        }
    }
    QScreen* s = QGuiApplication::primaryScreen();
    const double dpr = s ? s->devicePixelRatio() : 1.0;
    return QPoint(qRound(global.x() * dpr), qRound(global.y() * dpr));
}

std::vector<std::pair<QScreen*, QRect>> TInputForm::ScreensOnMonitors() const {
    // Each screen the framework knows shows the part of the desktop of the monitor of its name (or, for
    // a screen without a known name, the first unused monitor of its device size). The pointer's screen
    // comes first: the form's own window goes there and takes the keyboard.
    TPlatform& platform = Platform();
    QList<QRect> monitors = Monitors ? Monitors() : QList<QRect>{};
    QScreen* pointerScreen = QGuiApplication::screenAt(QCursor::pos());
    if (!pointerScreen) pointerScreen = QGuiApplication::primaryScreen();
    std::vector<std::pair<QScreen*, QRect>> placed;
    for (QScreen* s : QGuiApplication::screens()) {
        QRect m = platform.display ? platform.display->MonitorNamed(s->name()) : QRect();
        const double f = s->devicePixelRatio();
        for (int i = 0; m.isEmpty() && i < monitors.size(); ++i)
            if (std::abs(monitors[i].width() - s->geometry().width() * f) <= 1 &&
                std::abs(monitors[i].height() - s->geometry().height() * f) <= 1)
                m = monitors[i];
        if (m.isEmpty()) continue;
        monitors.removeAll(m);
        placed.insert(s == pointerScreen ? placed.begin() : placed.end(), {s, m});
    }
    if (placed.empty()) placed.emplace_back(QGuiApplication::primaryScreen(), DesktopBounds);
    return placed;
}

void TInputForm::ShowOnEveryMonitor() {
    const std::vector<std::pair<QScreen*, QRect>> placed = ScreensOnMonitors();
    for (size_t i = 0; i < placed.size(); ++i) {
        QScreen* s = placed[i].first;
        TOverlayView view;
        view.origin = placed[i].second.topLeft() - DesktopBounds.topLeft();
        view.logical = s ? s->geometry() : QRect(QPoint(0, 0), placed[i].second.size());
        view.scale = MonitorScale(placed[i].second, view.logical, s ? s->devicePixelRatio() : 1.0);
        QWidget* window = this;
        view.box = capBox_;
        if (i > 0) {
            // The other monitors' windows hand keys, wheel and closing to the form (eventFilter).
            window = view.window = new QWidget(this, windowFlags());
            window->setWindowTitle(windowTitle());
            window->setWindowRole(windowRole());
            window->setCursor(cursor());
            window->installEventFilter(this);
            view.box = new TCapBox(window);
            view.box->OnPaint = [this, i](TQuickPaintBox*) { PaintView(i); };
            ConnectCapBox(view.box, int(i));
        }
        views_.push_back(view);
        (void)window->winId(); // made now, so that its screen can be set before it is shown
        if (window->windowHandle() && s) window->windowHandle()->setScreen(s);
        window->setGeometry(view.logical);
        view.box->setGeometry(0, 0, view.logical.width(), view.logical.height());
    }
    scale_ = views_.front().scale;
    eventTolerance_ = 0.5;
    // The form's own window last, so that it ends up with the focus.
    for (size_t i = views_.size(); i-- > 0;)
        (views_[i].window ? views_[i].window : static_cast<QWidget*>(this))->showFullScreen();
}

void TInputForm::ShowOverDesktop() {
    // One image pixel per device pixel, whatever the framework's scaling. The framework scales a
    // window by the factor of the screen it belongs to, which is the screen under the window's
    // centre: place the window in that screen's logical coordinates. A screen's device origin is the
    // platform monitor of the same device size.
    QScreen* target = QGuiApplication::primaryScreen();
    QPoint nativeOrigin, logicalOrigin;
    bool matched = false;
    const QList<QRect> monitors = Monitors ? Monitors() : QList<QRect>{};
    const QPoint centre = DesktopBounds.center();
    for (QScreen* s : QGuiApplication::screens()) {
        const double f = s->devicePixelRatio();
        const QRect l = s->geometry();
        for (const QRect& m : monitors) {
            if (std::abs(m.width() - l.width() * f) > 1 || std::abs(m.height() - l.height() * f) > 1)
                continue;
            if (!m.contains(centre)) continue;
            target = s;
            nativeOrigin = m.topLeft();
            logicalOrigin = l.topLeft();
            matched = true;
            break;
        }
        if (matched) break;
    }
    scale_ = target ? target->devicePixelRatio() : 1.0;
    if (scale_ <= 0) scale_ = 1;
    // Event positions are rounded to the logical pixels of the screen under the pointer.
    double coarsest = scale_;
    for (QScreen* s : QGuiApplication::screens())
        coarsest = std::max(coarsest, s->devicePixelRatio());
    eventTolerance_ = 0.5 * coarsest / scale_ + 1e-9;
    if (!matched) logicalOrigin = nativeOrigin = QPoint(0, 0);
    const QRect logical(logicalOrigin.x() + qRound((DesktopBounds.left() - nativeOrigin.x()) / scale_),
                        logicalOrigin.y() + qRound((DesktopBounds.top() - nativeOrigin.y()) / scale_),
                        qRound(DesktopBounds.width() / scale_), qRound(DesktopBounds.height() / scale_));
    create();
    if (windowHandle() && target) windowHandle()->setScreen(target);
    setGeometry(logical);
    capBox_->setGeometry(0, 0, logical.width(), logical.height());
    show();
}

void TInputForm::ShowOverlay() {
    if (!Platform().Can(TCapability::PlaceWindows))
        ShowOnEveryMonitor();
    else
        ShowOverDesktop();
    raise();
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
    // The X server's first frame; a compositor that places the windows has nothing of the kind.
    if (views_.empty()) DrawBackdrop();
    holdView_.store(false);
    // The first paint starts the narrowing of the grabbed rows; should no paint come soon (a window
    // manager holding the window back), it starts anyway.
    QTimer::singleShot(100, this, [this] {
        StartFilling();
        ReleaseHeldSounds();
    });
}

void TInputForm::PickUnderPointer() {
    // The pointer was just put on the monitor's centre: the pick is the pixel under it, as the move's
    // own event makes it moments later (the X server's first frame shows it already).
    QPoint screen;
    if (!ZoomedView() || !PickRect.None() || !GetCursorPos || !GetCursorPos(screen)) return;
    TakePaintView();
    const QPoint c = ClientFromScreen(screen);
    const QPoint p = ImageFromClient(c.x(), c.y());
    PickRect = {p.x(), p.y(), p.x(), p.y()};
    UpdatePickedColor();
}

void TInputForm::ReleaseHeldSounds() {
    holdSounds_ = false;
    const auto held = std::exchange(heldSounds_, {});
    for (const auto& [name, flags] : held)
        PlaySound(name, flags);
}

void TInputForm::StartFilling() {
    if (!pending_.rows || filler_.joinable() || filled_.load(std::memory_order_acquire)) return;
    filler_ = std::thread([this] {
        FillDesktopImage(pending_);
        filled_.store(true, std::memory_order_release);
    });
}

void TInputForm::WaitForDesktop() {
    if (filler_.joinable()) filler_.join();
    if (!pending_.rows) return;
    if (!filled_.load(std::memory_order_acquire)) FillDesktopImage(pending_);
    filled_ = true;
    // The rows (tens of megabytes, shared with the X server) go back at once.
    pending_ = TDesktopGrab();
}

QPoint TInputForm::ClientFromEvent(const QPointF& logical, int view) {
    if (view >= 0 && size_t(view) < views_.size()) {
        // A drag that leaves its monitor keeps coming to its window, beyond the window's edges: over
        // another monitor it is placed by that monitor's own scale.
        const TOverlayView* v = &views_[size_t(view)];
        QPointF at = logical;
        if (!QRectF(QPointF(0, 0), QSizeF(v->logical.size())).contains(logical)) {
            const QPointF global = logical + QPointF(v->logical.topLeft());
            for (const TOverlayView& other : views_)
                if (QRectF(other.logical).contains(global)) {
                    v = &other;
                    at = global - QPointF(other.logical.topLeft());
                    break;
                }
        }
        return v->origin + DevicePixelOf(at, v->scale);
    }
    const QPoint scaled = DevicePixelOf(logical, scale_);
    if (eventTolerance_ <= 0.5 + 1e-6 && scale_ == 1.0) return scaled;
    if (!PointerPos) return scaled;
    // Under the framework's scaling, events carry whole logical pixels only. The pointer's device
    // position is exact; it belongs to this event unless the pointer has moved on since, and then the
    // last exact position seen at this logical point still does.
    QPoint screen;
    if (PointerPos(screen)) {
        const QPoint c = ClientFromScreen(screen);
        if (std::abs(c.x() / scale_ - logical.x()) <= eventTolerance_ &&
            std::abs(c.y() / scale_ - logical.y()) <= eventTolerance_) {
            exactLogical_ = logical;
            exactClient_ = c;
            return c;
        }
    }
    if (exactLogical_ && *exactLogical_ == logical) return exactClient_;
    return scaled;
}

void TInputForm::SetPointer(int imageX, int imageY) {
    pointer_.store(PackPoint(imageX, imageY));
}

// --- closing ------------------------------------------------------------------------------------------

void TInputForm::FormClose() {
    if (closed_) return;
    closed_ = true;
    StopWorker();
    disconnect(appStateHook_);
    for (const TOverlayView& v : views_)
        if (v.window) v.window->hide();
    hide();
    if (InputForm == this) InputForm = nullptr;
    WaitForDesktop();
    DesktopImage.Clear();
    OverlayBuffer.Clear();
    ReleaseHeldSounds();
    PlaySound(QStringLiteral("Click.wav"), 0);
    deleteLater();
}

void TInputForm::closeEvent(QCloseEvent* e) {
    FormClose();
    QWidget::closeEvent(e);
}

void TInputForm::TurnIntoTextCapture() {
    TextOnConfirm = true;
    // With a selection made, its text is read at once; otherwise the next selection's is.
    bool selected;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        selected = !Shapes.empty() && ActiveShape != 0 && RegionOfSelection(Shapes[0], QPoint()).has_value();
    }
    if (selected) FinishCapture();
}

void TInputForm::FormDeactivate() {
    FinishCapture();
}

bool TInputForm::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        wasActive_ = true;
    } else if (e->type() == QEvent::WindowDeactivate) {
        // Only a deactivation after the overlay really had the focus confirms. With a window on every
        // monitor the focus moves between them: only leaving the program confirms then.
        if (wasActive_ && !closed_ && views_.size() < 2) FormDeactivate();
    }
    return TWPForm::event(e);
}

void TInputForm::FinishCapture(bool pin) {
    if (closed_ || finishing_) return;
    const bool text = TextOnConfirm && !pin;
    if (owner_ && owner_->CaptureHeld() && !text) return;
    const auto confirmed = TCaptureClock::now();
    const auto confirmedWall = std::chrono::system_clock::now();
    CloseTextBox(); // what it holds is kept; what the input method still composes is not
    finishing_ = true;
    StopWorker();
    BeginWait();
    AnimTimer.stop();
    WaitForDesktop();
    std::vector<CaptureShape> shapes;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        shapes = Shapes;
    }
    // Nothing is painted from here on: the layer and the zoomed view's images go before the capture's
    // own are made, so that the two sets are never alive together. So does the grab's buffer kept for
    // a quick next capture: that is for a cancelled capture tried again, a confirmed one is done.
    Platform().grabber->ReleaseKept();
    OverlayBuffer.Clear();
    ZoomShown.Clear();
    ZoomScratch.Clear();
    ZoomRows.Clear();
    ZoomPanel.Clear();
    // The selection in screen coordinates, remembered once the capture is handed over.
    std::optional<TCaptureRegion> region = RegionOfSelection(shapes[0], DesktopBounds.topLeft());
    if (text && !region) {
        // A click reads the monitor under the pointer, not the whole desktop.
        const QRect m = NearestMonitor(UnpackPoint(pointer_.load()) + DesktopBounds.topLeft());
        TCaptureRegion monitor;
        monitor.rectangle = true;
        monitor.bounds = {m.left(), m.top(), m.left() + m.width(), m.top() + m.height()};
        const double l = m.left() + 0.5, t = m.top() + 0.5, r = m.left() + m.width() - 0.5,
                     b = m.top() + m.height() - 0.5;
        monitor.points = {{l, t}, {r, t}, {r, b}, {l, b}};
        const std::vector<CaptureShape> ink(shapes.begin() + 1, shapes.end());
        shapes.assign(1, SelectionOfRegion(monitor, DesktopBounds.topLeft()));
        shapes.insert(shapes.end(), ink.begin(), ink.end());
    }
    // A text capture's selection is not a picture's region to take again.
    if (!RemembersRegion || text) region.reset();
    TComposedCapture c;
    try {
        c = ComposeCapture(DesktopImage, GrabbedRect, std::move(shapes), PenWidth.load(), InkColor);
    } catch (const std::exception&) {
        // Out of memory for the images: the capture ends as if cancelled rather than taking the
        // program down from inside an event handler.
        c = TComposedCapture{};
    }
    PreviewOrigin = c.previewOrigin;
    if (owner_ && !c.captureImage.Empty() && text) {
        owner_->TextCaptured(c.captureImage, c.flatImage, c.previewImage, c.previewOrigin,
                             c.outputRect.translated(DesktopBounds.topLeft()));
    } else if (owner_ && !c.captureImage.Empty()) {
        owner_->StoreCapture(c.captureImage, c.flatImage, c.previewImage, c.previewOrigin,
                             c.outputRect.translated(DesktopBounds.topLeft()));
        CaptureTimingLine("confirmed at %.6f s, composed %.1f ms later",
                          std::chrono::duration<double>(confirmedWall.time_since_epoch()).count(),
                          MsSince(confirmed));
        if (pin || PinOnConfirm)
            owner_->PinCapture();
        else
            owner_->CaptureFinished();
        if (region) SaveLastRegion(*region);
    }
    FormClose();
    EndWait();
}

// --- the worker's cycle -----------------------------------------------------------------------------

void TInputForm::CatchStep() {
    const QPoint pointer = UnpackPoint(pointer_.load());
    const QSize image(DesktopImage.Width(), DesktopImage.Height());
    QRect changed;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        changed = StepStrokes(Shapes, ActiveShape, TPointD{pointer.x() + 0.5, pointer.y() + 0.5},
                              PenMargin(PenWidth.load()), image);
    }
    if (!changed.isEmpty()) PostInvalidate(changed);

    int fade = HelpCardFade.load(), alpha = HelpCardAlpha.load();
    if (StepHelpCardFade(fade, alpha)) {
        HelpCardFade.store(fade);
        HelpCardAlpha.store(alpha);
        PostInvalidate(HelpCardRect);
    }
    TickCount.fetch_add(1);

    bool moved = false;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        if (!holdView_.load()) {
            TViewGlide glide{ViewZoom, ViewOffset, TargetZoom, TargetOffset};
            moved = StepView(glide);
            ViewZoom = glide.zoom;
            ViewOffset = glide.offset;
        }
    }
    if (moved) PostInvalidate(QRect(QPoint(0, 0), image));
}

// --- invalidation ---------------------------------------------------------------------------------

void TInputForm::InvalidateClient(const QRect& r) {
    if (r.isEmpty() || !capBox_) return;
    if (!views_.empty()) {
        for (const TOverlayView& v : views_) {
            const QRect part = r.translated(-v.origin);
            const int l = int(std::floor(part.left() / v.scale)), t = int(std::floor(part.top() / v.scale));
            const QRect logical(l, t, int(std::ceil((part.left() + part.width()) / v.scale)) - l,
                                int(std::ceil((part.top() + part.height()) / v.scale)) - t);
            if (logical.intersects(v.box->rect())) v.box->update(logical & v.box->rect());
        }
        return;
    }
    const QRect logical(int(std::floor(r.left() / scale_)), int(std::floor(r.top() / scale_)),
                        int(std::ceil((r.left() + r.width()) / scale_)) - int(std::floor(r.left() / scale_)),
                        int(std::ceil((r.top() + r.height()) / scale_)) - int(std::floor(r.top() / scale_)));
    capBox_->update(logical);
}

void TInputForm::PostInvalidate(const QRect& r) {
    std::lock_guard<std::mutex> lock(invalidLock_);
    invalid_ |= r;
    if (invalidPosted_) return;
    invalidPosted_ = true;
    QMetaObject::invokeMethod(
        this, [this] { FlushInvalid(); }, Qt::QueuedConnection);
}

void TInputForm::FlushInvalid() {
    QRect r;
    {
        std::lock_guard<std::mutex> lock(invalidLock_);
        r = invalid_;
        invalid_ = QRect();
        invalidPosted_ = false;
    }
    InvalidateClient(r);
}

// --- mouse --------------------------------------------------------------------------------------------

void TInputForm::StartHelpCardFade() {
    int expected = -1;
    HelpCardFade.compare_exchange_strong(expected, 0);
}

QPoint TInputForm::ImageFromClient(int x, int y) const {
    const float zoom = PaintZoom > 0 ? float(PaintZoom) : 1.0f;
    return QPoint(TruncToInt((float(x) + float(PaintOffset.x())) / zoom),
                  TruncToInt((float(y) + float(PaintOffset.y())) / zoom));
}

QRect TInputForm::ClientFromImage(const QRect& image) const {
    const QPoint a = ClientFromImage(image.left(), image.top());
    const QPoint b = ClientFromImage(image.left() + image.width(), image.top() + image.height());
    return QRect(a, QSize(b.x() - a.x(), b.y() - a.y()));
}

QPoint TInputForm::ClientFromImage(int x, int y) const {
    return QPoint(RoundEven(x * PaintZoom - PaintOffset.x()), RoundEven(y * PaintZoom - PaintOffset.y()));
}

void TInputForm::TakePaintView() {
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        PaintZoom = ViewZoom;
        PaintOffset = ViewOffset;
    }
    PaintZoom = std::nearbyint(PaintZoom * 65536) / 65536;
    // Whole-number zooms put every image pixel on whole client pixels.
    if (PaintZoom == std::floor(PaintZoom))
        PaintOffset = QPointF(std::nearbyint(PaintOffset.x()), std::nearbyint(PaintOffset.y()));
}

void TInputForm::CapBoxMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y,
                                 bool doubleClick) {
    StartHelpCardFade();
    if (drag_) return;
    if (button != Qt::LeftButton && button != Qt::RightButton && button != Qt::MiddleButton) return;
    SetPointer(x, y);
    if (ZoomedView()) {
        ZoomedMouseDown(button, shift, x, y, doubleClick);
        return;
    }
    // A press while a text box is open ends the box, and nothing else.
    if (TextBoxOpen()) {
        CloseTextBox();
        return;
    }
    if (button == Qt::MiddleButton) {
        StartMove(x, y);
        return;
    }
    if (Strip.Contains(QPoint(x, y))) {
        const TToolStrip::THit hit = Strip.At(QPoint(x, y));
        if (hit.tool) SetTool(*hit.tool);
        if (hit.colour) SetColour(hit.colour);
        return;
    }
    StartShape(button == Qt::RightButton || (shift & Qt::AltModifier), shift & Qt::ControlModifier, x, y);
    CapBoxMouseMove(shift, x, y);
}

void TInputForm::ZoomedMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y,
                                 bool doubleClick) {
    if (button == Qt::MiddleButton) {
        ResampleMode = NextZoomInterpolation(ResampleMode);
        InvalidateClient(QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()));
    } else if (button == Qt::RightButton) {
        if (!(MagnifierMode && TargetZoom == 1))
            SetZoom(1, false);
        else
            drag_ = std::make_unique<TCancelDrag>(*this);
    } else {
        if ((shift & Qt::ControlModifier) || doubleClick) {
            const QPoint p = ImageFromClient(x, y);
            drag_ = std::make_unique<TPickDrag>(*this);
            PickRect = {p.x(), p.y(), p.x(), p.y()};
            setCursor(Qt::CrossCursor);
            PlaySound(QStringLiteral("Blip.wav"), SND_NOSTOP);
        } else {
            drag_ = std::make_unique<TPanDrag>(*this, QPoint(x, y));
        }
    }
    UpdatePickedColor();
}

void TInputForm::StartShape(bool ink, bool rectangle, int x, int y) {
    const TPointD q{x + 0.5, y + 0.5};
    size_t index = 0;
    bool text = false;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        if (ink) {
            drag_ = std::make_unique<TAnnotationDrag>(*this);
            Shapes.emplace_back();
            ActiveShape = int32_t(Shapes.size()) - 1;
            index = size_t(ActiveShape);
            // Ctrl draws the pen's rectangle whatever the tool.
            CaptureShape& s = Shapes.back();
            s.Tool = rectangle ? TToolKind::Pen : CurrentTool;
            s.Color = PaletteValue(CurrentColour);
            s.Width = PenWidth.load();
            s.Kind = rectangle ? skRectangle : skFinished;
            ToolOf(s).Start(s, q);
            history_.Added(index);
            if (s.Tool != TToolKind::Pen) UpdateBounds(s, index);
            text = s.Tool == TToolKind::Text;
        } else {
            drag_ = std::make_unique<TSelectionDrag>(*this);
            ActiveShape = 0;
            CaptureShape& s = Shapes[0];
            s.Bounds = TShapeBounds{};
            s.Points.clear(); // a selection drawn again after a refused confirmation starts afresh
            s.Pen = q;
            s.Target = q;
            if (rectangle) {
                s.Kind = skRectangle;
                s.Points.assign(4, q);
            } else {
                s.Kind = skFollowing;
                FollowStart(s.FollowParams[0], s.FollowState[0], 15, q.x);
                FollowStart(s.FollowParams[1], s.FollowState[1], 15, q.y);
            }
        }
    }
    if (text) OpenTextBox(index);
}

void TInputForm::CapBoxMouseMove(Qt::KeyboardModifiers shift, int x, int y) {
    SetPointer(x, y);
    if (HelpCardRect.contains(x, y)) StartHelpCardFade();
    if (ZoomedView()) {
        if (drag_ && drag_->Zoomed()) {
            drag_->Move(shift, x, y);
        } else if (PickRect.None() || PickRect.Degenerate()) {
            // Without a drag the pick rectangle is the pixel under the mouse.
            const QPoint p = ImageFromClient(x, y);
            PickRect = {p.x(), p.y(), p.x(), p.y()};
        }
        UpdatePickedColor();
        InvalidateClient(QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()));
        return;
    }
    if (!drag_) {
        if (Strip.Hover(QPoint(x, y))) InvalidateClient(Strip.Rect());
    } else if (!drag_->Zoomed()) {
        drag_->Move(shift, x, y);
    }
}

void TInputForm::ActiveShapeFollows(Qt::KeyboardModifiers shift, int x, int y) {
    QRect dirty;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        if (ActiveShape < 0 || ActiveShape >= int32_t(Shapes.size())) return;
        CaptureShape& s = Shapes[size_t(ActiveShape)];
        if (s.Kind != skRectangle) {
            // Free-form strokes grow in the worker; the other tools' shapes here.
            if (ActiveShape == 0 || ToolOf(s).Follows()) return;
            dirty = GrowAnnotation(s, x, y, shift & Qt::ShiftModifier);
        } else {
            dirty = RectangleFollows(s, x, y);
        }
    }
    InvalidateClient(dirty);
}

QRect TInputForm::RectangleFollows(CaptureShape& s, int x, int y) {
    QRect dirty;
    if (s.Bounds.IsSet()) dirty = s.Bounds.ToRect();
    s.Target = TPointD{x + 0.5, y + 0.5};
    s.Points = {s.Pen, {s.Target.x, s.Pen.y}, s.Target, {s.Pen.x, s.Target.y}};
    const int m = PenMargin(PenWidth.load());
    const int x1 = RoundEven(s.Pen.x), y1 = RoundEven(s.Pen.y);
    const int x2 = RoundEven(s.Target.x), y2 = RoundEven(s.Target.y);
    s.Bounds = {std::min(x1, x2) - m, std::min(y1, y2) - m, std::max(x1, x2) + m, std::max(y1, y2) + m};
    s.Bounds.Clip(QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()));
    dirty |= s.Bounds.ToRect();
    return dirty;
}

TDragMode TInputForm::DragMode() const {
    return drag_ ? drag_->Mode() : dmIdle;
}

void TInputForm::CapBoxMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    (void)button;
    (void)shift;
    (void)x;
    (void)y;
    if (const std::unique_ptr<TDrag> drag = std::move(drag_)) {
        drag->Release();
        if (drag->Mode() == dmCancelArmed) return;
    }
    std::lock_guard<std::mutex> lock(ShapeLock);
    // A free-form stroke keeps following its last target in the worker until it catches up.
    ActiveShape = -1;
}

// --- keys and wheel -----------------------------------------------------------------------------------

void TInputForm::UndoInk() {
    if (DragMode() == dmMove) {
        // The drag under way is the latest change.
        const std::unique_ptr<TDrag> drag = std::move(drag_);
        drag->Release();
    }
    QRect dirty;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        if (!history_.Undo(Shapes, dirty)) return;
        // An ink drag whose stroke was just removed goes on without one.
        if (ActiveShape >= int32_t(Shapes.size())) ActiveShape = -1;
    }
    InvalidateClient(dirty.isEmpty() ? QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()) : dirty);
}

void TInputForm::RedoInk() {
    if (DragMode() == dmMove) return;
    QRect dirty;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        if (!history_.Redo(Shapes, dirty)) return;
    }
    InvalidateClient(dirty.isEmpty() ? QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()) : dirty);
}

void TInputForm::RestoreLastRegion() {
    if (!RemembersRegion || DragMode() != dmIdle) return;
    const std::optional<TCaptureRegion> region = LoadLastRegion();
    if (!region) return;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        Shapes[0] = SelectionOfRegion(*region, DesktopBounds.topLeft());
    }
    InvalidateClient(QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()));
}

void TInputForm::MovePickCornerToPointer(int key) {
    QPoint screen;
    if (!GetCursorPos || !GetCursorPos(screen) || PickRect.None()) return;
    const QPoint c = ClientFromScreen(screen);
    const QPoint p = ImageFromClient(c.x(), c.y());
    if (key == Qt::Key_7)
        MovePickRect(p.x() - PickRect.x1, p.y() - PickRect.y1, 0, 0);
    else if (key == Qt::Key_9)
        MovePickRect(0, p.y() - PickRect.y1, p.x() - PickRect.x2, 0);
    else if (key == Qt::Key_1)
        MovePickRect(p.x() - PickRect.x1, 0, 0, p.y() - PickRect.y2);
    else if (key == Qt::Key_3)
        MovePickRect(0, 0, p.x() - PickRect.x2, p.y() - PickRect.y2);
}

void TInputForm::FormKeyDown(int key, Qt::KeyboardModifiers shift, const QString& text) {
    // While a text box is open, the keys are its own.
    if (TextBoxOpen()) {
        TextKey(key, shift, text);
        return;
    }
    const bool keypad = shift & Qt::KeypadModifier;
    if (keypad) MovePickCornerToPointer(key);
    if (key == Qt::Key_R && (shift & Qt::ControlModifier)) {
        RestoreLastRegion();
        return;
    }
    if (AnnotationKey(key, shift)) return;
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        UndoInk();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        FinishCapture();
        break;
    case Qt::Key_O:
        if (!(shift & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) TurnIntoTextCapture();
        break;
    case Qt::Key_F:
        // Confirms and pins the capture to the screen where it was taken.
        if (!(shift & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) FinishCapture(true);
        break;
    case Qt::Key_Escape:
        FormClose();
        break;
    case Qt::Key_PageUp:
        SetZoom(TargetZoom * 2, false);
        break;
    case Qt::Key_PageDown:
        SetZoom(RoundEven(TargetZoom / 2), false);
        break;
    case Qt::Key_End:
        SetZoom(0, false);
        break;
    case Qt::Key_Home:
        SetZoom(1000, false);
        break;
    case Qt::Key_Plus:
        if (keypad) SetZoom(TargetZoom + 1, false);
        break;
    case Qt::Key_Minus:
        if (keypad) SetZoom(TargetZoom - 1, false);
        break;
    case Qt::Key_Left:
        MovePickRect(0, 0, -1, 0);
        break;
    case Qt::Key_Right:
        MovePickRect(0, 0, 1, 0);
        break;
    case Qt::Key_Up:
        MovePickRect(0, 0, 0, -1);
        break;
    case Qt::Key_Down:
        MovePickRect(0, 0, 0, 1);
        break;
    default:
        break;
    }
}

void TInputForm::keyPressEvent(QKeyEvent* e) {
    FormKeyDown(e->key(), e->modifiers(), e->text());
}

void TInputForm::FormMouseWheel(int delta, Qt::KeyboardModifiers shift) {
    if (!ZoomedView() && !(shift & Qt::ControlModifier)) {
        const float lines = float(QApplication::wheelScrollLines());
        const float w = std::clamp(PenWidth.load() + float(delta) * lines / 600.0f, 1.0f, 17.0f);
        PenWidth.store(w);
        // The shape being drawn (or typed) takes the new width too; those already placed keep theirs.
        WidenActiveShape(w);
        InvalidateClient(QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()));
        return;
    }
    if (delta != 0) SetZoom(TargetZoom + (delta > 0 ? 1 : -1), false);
}

void TInputForm::wheelEvent(QWheelEvent* e) {
    FormMouseWheel(e->angleDelta().y(), e->modifiers());
    e->accept();
}

// --- zoom and pick ------------------------------------------------------------------------------------

void TInputForm::SetZoom(double zoom, bool centreCursor) {
    StartHelpCardFade();
    const double clamped = std::clamp(zoom, -1.0e6, 1.0e6);
    const int n = std::clamp(RoundEven(clamped), 1, 32);
    if (n != TargetZoom) {
        if (TargetZoom == 1)
            PlaySound(QStringLiteral("ZoomIn.wav"), 0);
        else if (n == 1)
            PlaySound(QStringLiteral("ZoomOut.wav"), 0);
    }
    // The pointer is asked for (and moved) before the new target is set: the worker steps the view
    // towards the target all the while, so the target zoom and the offset that keeps the point under the
    // pointer are set together, from the view as it stands at that moment.
    QPoint screen;
    const bool havePointer = GetCursorPos && GetCursorPos(screen);
    QPoint u, d;
    if (havePointer) {
        u = ClientFromScreen(screen);
        d = u;
        if (centreCursor) {
            const QPoint centre = NearestMonitorCentre(screen);
            if (SetCursorPos) SetCursorPos(centre);
            d = ClientFromScreen(centre);
            SetPointer(d.x(), d.y());
        }
    }
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        TargetZoom = n;
        if (havePointer) {
            if (n > 1 || MagnifierMode) {
                // The image point under the cursor ends up under d once the animation settles.
                TargetOffset = QPointF(RoundEven(n * (u.x() + ViewOffset.x()) / ViewZoom - d.x()),
                                       RoundEven(n * (u.y() + ViewOffset.y()) / ViewZoom - d.y()));
            } else {
                TargetOffset = QPointF(0, 0);
                PickRect = TPickRect{};
            }
        }
    }
    ApplyCursorShape();
}

QRect TInputForm::NearestMonitor(const QPoint& screen) const {
    const QList<QRect> monitors = Monitors ? Monitors() : QList<QRect>{};
    QRect nearest = DesktopBounds;
    qint64 best = -1;
    for (const QRect& m : monitors) {
        const qint64 dx = screen.x() < m.left()    ? m.left() - screen.x()
                          : screen.x() > m.right() ? screen.x() - m.right()
                                                   : 0;
        const qint64 dy = screen.y() < m.top()      ? m.top() - screen.y()
                          : screen.y() > m.bottom() ? screen.y() - m.bottom()
                                                    : 0;
        const qint64 dist = dx * dx + dy * dy;
        if (best < 0 || dist < best) {
            best = dist;
            nearest = m;
        }
    }
    return nearest;
}

QPoint TInputForm::NearestMonitorCentre(const QPoint& screen) const {
    const QRect nearest = NearestMonitor(screen);
    return QPoint((nearest.left() + nearest.left() + nearest.width()) / 2,
                  (nearest.top() + nearest.top() + nearest.height()) / 2);
}

void TInputForm::ApplyCursorShape() {
    if (DragMode() == dmPick) return;
    const Qt::CursorShape shape = ZoomedView() ? Qt::SizeAllCursor : Qt::CrossCursor;
    setCursor(shape);
    for (const TOverlayView& v : views_)
        if (v.window) v.window->setCursor(shape);
}

bool TInputForm::eventFilter(QObject* watched, QEvent* e) {
    // The other monitors' windows hand their keys and wheel to the form.
    const bool ours = std::any_of(views_.begin(), views_.end(), [watched](const TOverlayView& v) {
        return v.window && v.window == watched;
    });
    if (ours && (e->type() == QEvent::KeyPress || e->type() == QEvent::Wheel)) {
        if (e->type() == QEvent::KeyPress)
            keyPressEvent(static_cast<QKeyEvent*>(e));
        else
            wheelEvent(static_cast<QWheelEvent*>(e));
        return true;
    }
    if (ours && e->type() == QEvent::Close) {
        FormClose();
        return true;
    }
    // ...and the input method's text for the text box, answering its questions for the form.
    if (ours && e->type() == QEvent::InputMethod) {
        inputMethodEvent(static_cast<QInputMethodEvent*>(e));
        return true;
    }
    if (ours && e->type() == QEvent::InputMethodQuery) {
        auto* query = static_cast<QInputMethodQueryEvent*>(e);
        for (const Qt::InputMethodQuery q : {Qt::ImEnabled, Qt::ImCursorRectangle, Qt::ImHints})
            if (query->queries() & q) query->setValue(q, inputMethodQuery(q));
        query->accept();
        return true;
    }
    return TWPForm::eventFilter(watched, e);
}

void TInputForm::MovePickRect(int dx1, int dy1, int dx2, int dy2) {
    if (PickRect.None()) return;
    PickRect.x1 += dx1;
    PickRect.y1 += dy1;
    PickRect.x2 += dx2;
    PickRect.y2 += dy2;
    UpdatePickedColor();
    InvalidateClient(QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()));
}

void TInputForm::UpdatePickedColor() {
    if (PickRect.None()) return;
    const QRect r = PickRect.Normalised() & QRect(0, 0, DesktopImage.Width(), DesktopImage.Height());
    if (r == LastAveraged) return;
    LastAveraged = r;
    uint32_t colour = 0;
    if (!r.isEmpty() && !DesktopImage.Empty()) {
        // From the grabbed rows while they are still being narrowed into the picture (the magnifier
        // picks at once at its start): the same pixels.
        const DibOps::ConstView desktop = ShownDesktop();
        uint64_t sb = 0, sg = 0, sr = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            const uint8_t* p = desktop.Pixel(r.left(), y);
            for (int x = 0; x < r.width(); ++x, p += desktop.bpp) {
                sb += p[0];
                sg += p[1];
                sr += p[2];
            }
        }
        const double n = double(r.width()) * r.height();
        const uint32_t red = uint32_t(RoundEven(sr / n)), green = uint32_t(RoundEven(sg / n)),
                       blue = uint32_t(RoundEven(sb / n));
        colour = red + green * 256 + blue * 65536;
    }
    if (colour == PickedColor) return;
    PickedColor = colour;
    InvalidateClient(QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()));
    // Six hex digits in the order blue, green, red.
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(QStringLiteral("%1").arg(colour, 6, 16, QLatin1Char('0')).toUpper());
}
