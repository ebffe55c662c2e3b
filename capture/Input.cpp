#include "Input.h"

#include "Agg_2D_DIB.h"
#include "Compose.h"
#include "HelpCard.h"
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
#include <QKeyEvent>
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
constexpr uint32_t TintColor = 0x57092236u; // 0xFF1D649E at 88/256, premultiplied
constexpr uint32_t OutlineColor = 0xFF1D649Eu;
constexpr uint32_t ZoomBackground = 0xFF181818u;

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

void StartCapture(int mode, ICaptureOwner* owner) {
    if (InputForm || !owner) return;
    const auto requested = std::chrono::steady_clock::now();
    const auto requestedWall = std::chrono::system_clock::now();
    // Every start shows the grabbed rows at once (the magnifier its magnified part of them) and
    // narrows them into the picture while the first frame is on screen.
    TDesktopGrab grab = GrabDesktop(mode, owner->CaptureCursorSetting(), true);
    if (grab.image.Empty()) return;
    const auto tGrab = std::chrono::steady_clock::now();
    owner->DiscardCapture();
    QString title, comment;
    if (owner->AutoTitleSetting()) GetForegroundTitle(title, comment);
    owner->SetCaptureTexts(title, comment);
    owner->HideForCapture();
    const auto tOwner = std::chrono::steady_clock::now();
    auto* form = new TInputForm(std::move(grab), owner, OverlayWorkerRuns);
    const auto tForm = std::chrono::steady_clock::now();
    form->requested_ = requested;
    form->holdSounds_ = true;
    InputForm = form;
    if (mode == 2) {
        // The zoom sets off from the first frame on screen.
        form->holdView_.store(true);
        form->MagnifierMode = true;
        form->SetZoom(8, true);
        form->PickUnderPointer();
    } else {
        form->PlaySound(QStringLiteral("Cap.wav"), 0);
    }
    form->ShowOverlay();
    if (qEnvironmentVariableIsSet("VEXMOR_CAPTURE_TIMING")) {
        auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
        // The wall-clock time of the request lets a watcher of the X server's events time the map.
        const double wall = std::chrono::duration<double>(requestedWall.time_since_epoch()).count();
        std::fprintf(
            stderr,
            "vexmor: grab %.1f ms, owner %.1f ms, overlay made %.1f ms, shown %.1f ms; requested at %.6f s\n",
            ms(requested, tGrab), ms(tGrab, tOwner), ms(tOwner, tForm),
            ms(tForm, std::chrono::steady_clock::now()), wall);
    }
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
    setWindowTitle(QStringLiteral("屏幕捕获覆盖"));
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
    {
        // Drawn once per run and shared by every later overlay: the card never changes.
        static TDIB card;
        if (card.Empty()) MakeHelpCard(card);
        HelpCard = card;
    }

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

    capBox_ = new TCapBox(this);
    capBox_->setMouseTracking(true);
    capBox_->setAttribute(Qt::WA_OpaquePaintEvent);
    capBox_->OnPaint = [this](TQuickPaintBox*) { CapBoxPaint(); };
    capBox_->OnMouseDown = [this](QMouseEvent* e, bool dbl) {
        const QPoint c = ClientFromEvent(e->position());
        if (dbl) {
            // Qt reports the second press of a double click as a press, then as a double click: the
            // press started a pan, which the double click turns into a pick drag.
            if (DragMode != dmPan || e->button() != Qt::LeftButton) return;
            DragMode = dmIdle;
        }
        CapBoxMouseDown(e->button(), e->modifiers(), c.x(), c.y(), dbl);
    };
    capBox_->OnMouseMove = [this](QMouseEvent* e) {
        const QPoint c = ClientFromEvent(e->position());
        CapBoxMouseMove(e->modifiers(), c.x(), c.y());
    };
    capBox_->OnMouseUp = [this](QMouseEvent* e) {
        const QPoint c = ClientFromEvent(e->position());
        CapBoxMouseUp(e->button(), e->modifiers(), c.x(), c.y());
    };

    GetCursorPos = [](QPoint& screen) {
        QScreen* s = QGuiApplication::primaryScreen();
        const double dpr = s ? s->devicePixelRatio() : 1.0;
        const QPoint p = QCursor::pos();
        screen = QPoint(qRound(p.x() * dpr), qRound(p.y() * dpr));
        return true;
    };
    SetCursorPos = [](const QPoint& screen) {
        QScreen* s = QGuiApplication::primaryScreen();
        const double dpr = s ? s->devicePixelRatio() : 1.0;
        QCursor::setPos(qRound(screen.x() / dpr), qRound(screen.y() / dpr));
    };
    PointerPos = [](QPoint& screen) {
        TCursorImage cursor;
        if (!Platform().grabber || !Platform().grabber->Cursor(cursor).ok) return false;
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
    Monitors = []() {
        QList<QRect> list;
        if (Platform().display) list = Platform().display->Monitors();
        return list;
    };

    QPoint cursor;
    if (GetCursorPos(cursor)) SetPointer(cursor.x() + ScreenToImage.x(), cursor.y() + ScreenToImage.y());

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

void TInputForm::ShowOverlay() {
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
    raise();
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
    DrawBackdrop();
    holdView_.store(false);
    // The first paint starts the narrowing of the grabbed rows; should no paint come soon (a window
    // manager holding the window back), it starts anyway.
    QTimer::singleShot(100, this, [this] {
        StartFilling();
        ReleaseHeldSounds();
    });
}

void TInputForm::DrawBackdrop() {
    // The first frame takes a while on a large desktop, most of it spent by the system coming up with
    // a fresh window surface. Meanwhile the X server draws the same frame into the mapped window from
    // the grabbed rows it still holds (the tint laid over them on its side, the help card from here):
    // the overlay is complete moments after it maps.
    // The magnifier starts unmagnified: its first frame is the rows as they are under the pick display.
    TPlatform& platform = Platform();
    if (!platform.grabber || !pending_.rows || !windowHandle()) return;
    TakePaintView();
    TBackdrop backdrop;
    if (MagnifierMode) {
        if (PaintZoom != 1 || PaintOffset.x() != 0 || PaintOffset.y() != 0 || ResampleMode != 1) return;
        PickDisplayPatches(backdrop.patches);
    } else if (PaintZoom > 1) {
        return;
    } else {
        backdrop.tint = TintColor;
        NormalBackdropPatch(backdrop.patches);
    }
    backdropDrawn_ = platform.grabber->DrawBackdrop(uintptr_t(winId()), *pending_.rows, backdrop);
    if (!backdropDrawn_) return;
    if (requested_ && qEnvironmentVariableIsSet("VEXMOR_CAPTURE_TIMING")) {
        platform.grabber->WaitForServer();
        const auto elapsed = std::chrono::steady_clock::now() - *requested_;
        std::fprintf(stderr,
                     "vexmor: overlay %dx%d drawn by the X server %.1f ms after the capture request\n",
                     DesktopImage.Width(), DesktopImage.Height(),
                     std::chrono::duration<double, std::milli>(elapsed).count());
    }
}

void TInputForm::NormalBackdropPatch(QList<TBackdropPatch>& patches) {
    const QRect card = HelpCardRect & QRect(0, 0, DesktopImage.Width(), DesktopImage.Height());
    if (!card.isEmpty()) {
        // Painted by the same code as the frame itself.
        QImage patch(card.size(), QImage::Format_RGB32);
        patch.setDevicePixelRatio(scale_);
        {
            QPainter p(&patch);
            p.translate(-card.left() / scale_, -card.top() / scale_);
            PaintNormal(p, card);
        }
        patch.setDevicePixelRatio(1);
        patches.append({patch, card.topLeft()});
    }
}

void TInputForm::PickDisplayPatches(QList<TBackdropPatch>& patches) {
    if (PickRect.None() || !pending_.rows) return;
    // The same frame the zoomed view paints unmagnified, made only where the pick display draws.
    const int w = std::max(1, int(std::ceil(capBox_->width() * scale_)));
    const int h = std::max(1, int(std::ceil(capBox_->height() * scale_)));
    const QRect n = PickRect.Normalised();
    const QPoint a = ClientFromImage(n.left(), n.top());
    const QPoint b = ClientFromImage(n.left() + n.width(), n.top() + n.height());
    const QRect pick(a, QSize(b.x() - a.x(), b.y() - a.y()));
    const TPickDisplayParts parts = PickDisplayParts(pick, w, h);
    const DibOps::View rows{pending_.rows->bits, pending_.rows->stride, DesktopImage.Width(),
                            DesktopImage.Height(), 4};
    if (!ReadoutPainter) ReadoutPainter = std::make_unique<TAgg2D>();
    const QRect all(0, 0, w, h);
    for (const QRect& part :
         {parts.bands[0], parts.bands[1], parts.bands[2], parts.bands[3], parts.pick, parts.framed}) {
        const QRect r = part & all & QRect(0, 0, rows.width, rows.height);
        if (r.isEmpty()) continue;
        QImage image(r.size(), QImage::Format_RGB32);
        const DibOps::View out{image.bits(), int(image.bytesPerLine()), r.width(), r.height(), 4};
        DrawZoomedDesktop(rows, ZoomScratch, ZoomRows, out,
                          TZoomedView{1, QPointF(r.left(), r.top()), r.topLeft(), 1, 0, ZoomBackground});
        DrawPickDisplay(out, r.topLeft(), QSize(w, h), ZoomPanel, *ReadoutPainter, pick, n,
                        PickRect.Degenerate(), PickedColor, TickCount.load() * 100.0);
        patches.append({image, r.topLeft()});
    }
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

QPoint TInputForm::ClientFromEvent(const QPointF& logical) {
    const QPoint scaled(int(std::floor(logical.x() * scale_)), int(std::floor(logical.y() * scale_)));
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

void TInputForm::FormDeactivate() {
    FinishCapture();
}

bool TInputForm::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        wasActive_ = true;
    } else if (e->type() == QEvent::WindowDeactivate) {
        // Only a deactivation after the overlay really had the focus confirms.
        if (wasActive_ && !closed_) FormDeactivate();
    }
    return TWPForm::event(e);
}

void TInputForm::FinishCapture() {
    if (closed_ || finishing_) return;
    if (owner_ && owner_->CaptureHeld()) return;
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
    if (Platform().grabber) Platform().grabber->ReleaseKept();
    OverlayBuffer.Clear();
    ZoomShown.Clear();
    ZoomScratch.Clear();
    ZoomRows.Clear();
    ZoomPanel.Clear();
    TComposedCapture c;
    try {
        c = ComposeCapture(DesktopImage, GrabbedRect, std::move(shapes), PenWidth.load(), InkColor);
    } catch (const std::exception&) {
        // Out of memory for the images: the capture ends as if cancelled rather than taking the
        // program down from inside an event handler.
        c = TComposedCapture{};
    }
    PreviewOrigin = c.previewOrigin;
    if (owner_ && !c.captureImage.Empty()) {
        owner_->StoreCapture(c.captureImage, c.flatImage, c.previewImage, c.previewOrigin);
        owner_->CaptureFinished();
    }
    FormClose();
    EndWait();
}

// --- the worker's cycle -----------------------------------------------------------------------------

void TInputForm::CatchStep() {
    const QPoint pointer = UnpackPoint(pointer_.load());
    const TPointD cursor{pointer.x() + 0.5, pointer.y() + 0.5};
    const QRect image(0, 0, DesktopImage.Width(), DesktopImage.Height());
    QRect grown;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        const int m = PenMargin(PenWidth.load());
        for (int i = 0; i < int(Shapes.size()); ++i) {
            CaptureShape& s = Shapes[size_t(i)];
            if (s.Kind <= 0) continue;
            const bool active = i == ActiveShape;
            if (active) s.Target = cursor;
            const float d = float(std::hypot(s.Target.x - s.Pen.x, s.Target.y - s.Pen.y));
            if (active && d <= 1.75f) continue;
            if (d < 0.25f) s.Kind = skFinished; // caught up: the stroke is done
            s.Points.push_back(s.Pen);
            const int px = RoundEven(s.Pen.x), py = RoundEven(s.Pen.y);
            s.Bounds.Include(px - m, py - m, px + m, py + m);
            s.Bounds.Clip(image);
            // What changed on screen: the new segment, and for the selection the closing edge of its fill.
            TShapeBounds changed;
            changed.Include(px - m, py - m, px + m, py + m);
            const size_t n = s.Points.size();
            if (n >= 2) {
                const TPointD& q = s.Points[n - 2];
                changed.Include(RoundEven(q.x) - m, RoundEven(q.y) - m, RoundEven(q.x) + m,
                                RoundEven(q.y) + m);
            }
            if (i == 0) {
                const TPointD& f = s.Points.front();
                changed.Include(RoundEven(f.x) - m, RoundEven(f.y) - m, RoundEven(f.x) + m,
                                RoundEven(f.y) + m);
            }
            changed.Clip(image);
            grown |= changed.ToRect();
            s.Pen.x = FollowStep(s.FollowParams[0], s.FollowState[0], s.Target.x);
            s.Pen.y = FollowStep(s.FollowParams[1], s.FollowState[1], s.Target.y);
        }
    }
    if (!grown.isEmpty()) PostInvalidate(grown);

    const int fade = HelpCardFade.load();
    if (fade >= 0 && HelpCardAlpha.load() > 0) {
        const int next = fade + 10;
        HelpCardFade.store(next);
        const double a = 255 - 255 * std::log(next / 50.0 + 1) / std::log(11.0);
        HelpCardAlpha.store(std::max(RoundEven(a), 0));
        PostInvalidate(HelpCardRect);
    }
    TickCount.fetch_add(1);

    bool moved = false;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        // QPointF's own comparison is fuzzy: the coordinates are compared exactly.
        if (!holdView_.load() && (ViewZoom != TargetZoom || ViewOffset.x() != TargetOffset.x() ||
                                  ViewOffset.y() != TargetOffset.y())) {
            double z = ViewZoom + (TargetZoom - ViewZoom) * 0.2;
            double ox = ViewOffset.x() + (TargetOffset.x() - ViewOffset.x()) * 0.2;
            double oy = ViewOffset.y() + (TargetOffset.y() - ViewOffset.y()) * 0.2;
            if (TargetZoom == 1 && std::abs(z - 1) < 0.1 && std::abs(TargetOffset.x() - ox) < 0.5 &&
                std::abs(TargetOffset.y() - oy) < 0.5)
                z = TargetZoom;
            // The 20 % steps approach their targets without ever reaching them exactly: settle once the
            // rest is invisible, so the animation (and its full repaints) ends.
            if (std::abs(TargetZoom - z) < 1e-4) z = TargetZoom;
            if (std::abs(TargetOffset.x() - ox) < 0.01) ox = TargetOffset.x();
            if (std::abs(TargetOffset.y() - oy) < 0.01) oy = TargetOffset.y();
            ViewZoom = z;
            ViewOffset = QPointF(ox, oy);
            moved = true;
        }
    }
    if (moved) PostInvalidate(QRect(0, 0, image.width(), image.height()));
}

// --- invalidation ---------------------------------------------------------------------------------

void TInputForm::InvalidateClient(const QRect& r) {
    if (r.isEmpty() || !capBox_) return;
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
    if (DragMode != dmIdle) return;
    if (button != Qt::LeftButton && button != Qt::RightButton && button != Qt::MiddleButton) return;
    SetPointer(x, y);

    if (ZoomedView()) {
        if (button == Qt::MiddleButton) {
            ResampleMode = ResampleMode == 4 ? 1 : 4; // 1 and 4 alternate; anything else becomes 4
            InvalidateClient(QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()));
        } else {
            const QPoint p = ImageFromClient(x, y);
            if (button == Qt::RightButton) {
                if (!(MagnifierMode && TargetZoom == 1))
                    SetZoom(1, false);
                else
                    DragMode = dmCancelArmed;
            } else {
                DragOrigin = QPoint(x, y);
                if ((shift & Qt::ControlModifier) || doubleClick) {
                    DragMode = dmPick;
                    PickRect = {p.x(), p.y(), p.x(), p.y()};
                    setCursor(Qt::CrossCursor);
                    PlaySound(QStringLiteral("Blip.wav"), SND_NOSTOP);
                } else {
                    DragMode = dmPan;
                }
            }
        }
        UpdatePickedColor();
        return;
    }

    if (button == Qt::MiddleButton) return;
    const TPointD q{x + 0.5, y + 0.5};
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        const bool ink = button == Qt::RightButton || (shift & Qt::AltModifier);
        DragMode = ink ? dmInk : dmSelection;
        double timeConstant;
        if (ink) {
            Shapes.emplace_back();
            ActiveShape = int32_t(Shapes.size()) - 1;
            timeConstant = 10;
        } else {
            ActiveShape = 0;
            timeConstant = 15;
        }
        CaptureShape& s = Shapes[size_t(ActiveShape)];
        s.Bounds = TShapeBounds{};
        s.Points.clear(); // a selection drawn again after a refused confirmation starts afresh
        s.Pen = q;
        s.Target = q;
        if (shift & Qt::ControlModifier) {
            s.Kind = skRectangle;
            s.Points.assign(4, q);
        } else {
            s.Kind = skFollowing;
            FollowStart(s.FollowParams[0], s.FollowState[0], timeConstant, q.x);
            FollowStart(s.FollowParams[1], s.FollowState[1], timeConstant, q.y);
        }
    }
    CapBoxMouseMove(shift, x, y);
}

void TInputForm::CapBoxMouseMove(Qt::KeyboardModifiers shift, int x, int y) {
    (void)shift;
    SetPointer(x, y);
    if (HelpCardRect.contains(x, y)) StartHelpCardFade();
    if (ZoomedView()) {
        if (DragMode == dmPan) {
            std::lock_guard<std::mutex> lock(ShapeLock);
            TargetOffset += QPointF(DragOrigin.x() - x, DragOrigin.y() - y);
            DragOrigin = QPoint(x, y);
        } else {
            const QPoint p = ImageFromClient(x, y);
            if (DragMode == dmPick) {
                PickRect.x2 = p.x();
                PickRect.y2 = p.y();
            } else if (PickRect.None() || PickRect.Degenerate()) {
                // Without a drag the pick rectangle is the pixel under the mouse.
                PickRect = {p.x(), p.y(), p.x(), p.y()};
            }
        }
        UpdatePickedColor();
        InvalidateClient(QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()));
        return;
    }

    QRect dirty;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        if (ActiveShape < 0 || ActiveShape >= int32_t(Shapes.size())) return;
        CaptureShape& s = Shapes[size_t(ActiveShape)];
        if (s.Kind >= 0) return; // free-form shapes grow in the worker
        if (s.Bounds.IsSet()) dirty = s.Bounds.ToRect();
        s.Target = TPointD{x + 0.5, y + 0.5};
        s.Points = {s.Pen, {s.Target.x, s.Pen.y}, s.Target, {s.Pen.x, s.Target.y}};
        const int m = PenMargin(PenWidth.load());
        const int x1 = RoundEven(s.Pen.x), y1 = RoundEven(s.Pen.y);
        const int x2 = RoundEven(s.Target.x), y2 = RoundEven(s.Target.y);
        s.Bounds = {std::min(x1, x2) - m, std::min(y1, y2) - m, std::max(x1, x2) + m, std::max(y1, y2) + m};
        s.Bounds.Clip(QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()));
        dirty |= s.Bounds.ToRect();
    }
    InvalidateClient(dirty);
}

void TInputForm::CapBoxMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    (void)button;
    (void)shift;
    (void)x;
    (void)y;
    if (DragMode == dmCancelArmed) {
        DragMode = dmIdle;
        FormClose();
        return;
    }
    if (DragMode == dmPick && !PickRect.Degenerate()) PlaySound(QStringLiteral("DoubleBlip.wav"), 0);
    if (DragMode > 0) FinishCapture();
    DragMode = dmIdle;
    std::lock_guard<std::mutex> lock(ShapeLock);
    // A free-form stroke keeps following its last target in the worker until it catches up.
    ActiveShape = -1;
}

// --- keys and wheel -----------------------------------------------------------------------------------

void TInputForm::UndoInk() {
    QRect dirty;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        if (Shapes.size() <= 1) return;
        dirty = Shapes.back().Bounds.ToRect();
        Shapes.pop_back();
        // An ink drag whose stroke was just removed goes on without one.
        if (ActiveShape >= int32_t(Shapes.size())) ActiveShape = -1;
    }
    InvalidateClient(dirty.isEmpty() ? QRect(0, 0, DesktopImage.Width(), DesktopImage.Height()) : dirty);
}

void TInputForm::FormKeyDown(int key, Qt::KeyboardModifiers shift) {
    const bool keypad = shift & Qt::KeypadModifier;
    QPoint screen;
    if (GetCursorPos && GetCursorPos(screen)) {
        const QPoint c = ClientFromScreen(screen);
        const QPoint p = ImageFromClient(c.x(), c.y());
        if (keypad && !PickRect.None()) {
            if (key == Qt::Key_7)
                MovePickRect(p.x() - PickRect.x1, p.y() - PickRect.y1, 0, 0);
            else if (key == Qt::Key_9)
                MovePickRect(0, p.y() - PickRect.y1, p.x() - PickRect.x2, 0);
            else if (key == Qt::Key_1)
                MovePickRect(p.x() - PickRect.x1, 0, 0, p.y() - PickRect.y2);
            else if (key == Qt::Key_3)
                MovePickRect(0, 0, p.x() - PickRect.x2, p.y() - PickRect.y2);
        }
    }
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
    FormKeyDown(e->key(), e->modifiers());
}

void TInputForm::FormMouseWheel(int delta, Qt::KeyboardModifiers shift) {
    if (!ZoomedView() && !(shift & Qt::ControlModifier)) {
        const float lines = float(QApplication::wheelScrollLines());
        const float w = std::clamp(PenWidth.load() + float(delta) * lines / 600.0f, 1.0f, 17.0f);
        PenWidth.store(w);
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

QPoint TInputForm::NearestMonitorCentre(const QPoint& screen) const {
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
    return QPoint((nearest.left() + nearest.left() + nearest.width()) / 2,
                  (nearest.top() + nearest.top() + nearest.height()) / 2);
}

void TInputForm::ApplyCursorShape() {
    if (DragMode == dmPick) return;
    setCursor(ZoomedView() ? Qt::SizeAllCursor : Qt::CrossCursor);
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
        const DibOps::View desktop = ShownDesktop();
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

// --- painting -------------------------------------------------------------------------------------

void TInputForm::paintEvent(QPaintEvent*) {
    // The paint box covers the whole window and paints every pixel it is asked for.
}

void TInputForm::CapBoxPaint() {
    QPainter* p = capBox_ ? capBox_->Canvas() : nullptr;
    if (!p || DesktopImage.Empty() || finishing_ || closed_) return;
    if (!firstPaintDone_ && requested_ && qEnvironmentVariableIsSet("VEXMOR_CAPTURE_TIMING"))
        std::fprintf(stderr, "vexmor: overlay paint began %.1f ms after the capture request\n",
                     std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - *requested_)
                         .count());
    TakePaintView();
    const QRect logical = capBox_->PaintRect();
    const QRect clip(int(std::floor(logical.left() * scale_)), int(std::floor(logical.top() * scale_)),
                     int(std::ceil(logical.width() * scale_)), int(std::ceil(logical.height() * scale_)));
    if (clip.isEmpty()) return;
    if (PaintZoom > 1 || MagnifierMode) {
        PaintZoomed(*p);
    } else {
        PaintNormal(*p, clip);
    }
    if (!firstPaintDone_) {
        firstPaintDone_ = true;
        // The frame is out: the grabbed rows are narrowed while the X server shows it, and the start's
        // sound plays.
        StartFilling();
        if (holdSounds_) QTimer::singleShot(0, this, [this] { ReleaseHeldSounds(); });
        // The start-up latency of the overlay, for measurements from outside: painted, and handed to
        // the X server once the event that painted (an expose) has been dealt with.
        if (requested_ && qEnvironmentVariableIsSet("VEXMOR_CAPTURE_TIMING")) {
            const auto requested = *requested_;
            auto ms = [requested] {
                const auto elapsed = std::chrono::steady_clock::now() - requested;
                return std::chrono::duration<double, std::milli>(elapsed).count();
            };
            std::fprintf(stderr, "vexmor: overlay %dx%d painted %.1f ms after the capture request\n",
                         DesktopImage.Width(), DesktopImage.Height(), ms());
            QTimer::singleShot(0, this, [ms] {
                std::fprintf(stderr, "vexmor: overlay flushed %.1f ms after the capture request\n", ms());
            });
        }
    }
}

void TInputForm::ShowScratch(QPainter& p, TDIB& scratch, const QRect& clientRect) {
    QImage view(scratch.Bits(), scratch.Width(), scratch.Height(), scratch.BytesPerRow(),
                scratch.BitCount() == 32 ? QImage::Format_RGB32 : QImage::Format_BGR888);
    view.setDevicePixelRatio(scale_);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPointF(clientRect.left() / scale_, clientRect.top() / scale_), view);
}

QImage* TInputForm::DirectSurface(QPainter& p, QPoint& deviceOrigin) const {
    // The window surface itself, when it is an image in device pixels mapped from the paint box by a
    // plain translation: the normal view is composed straight into it, which spares a frame-sized
    // scratch image (and its fresh pages) and one copy of every pixel on the first paint.
    QPaintEngine* engine = p.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image) return nullptr;
    auto* surface = static_cast<QImage*>(device);
    if (surface->format() != QImage::Format_RGB32 && surface->format() != QImage::Format_ARGB32_Premultiplied)
        return nullptr;
    const QTransform t = p.deviceTransform();
    if (t.type() > QTransform::TxScale || std::abs(t.m11() - scale_) > 1e-9 ||
        std::abs(t.m22() - scale_) > 1e-9)
        return nullptr;
    if (std::abs(t.dx() - std::round(t.dx())) > 1e-9 || std::abs(t.dy() - std::round(t.dy())) > 1e-9)
        return nullptr;
    deviceOrigin = QPoint(int(std::round(t.dx())), int(std::round(t.dy())));
    return surface;
}

namespace {

// The bounds of a polyline in whole pixels, grown by `margin`.
QRect PointsBounds(const std::vector<TPointD>& pts, int margin) {
    if (pts.empty()) return {};
    double l = pts[0].x, t = pts[0].y, r = l, b = t;
    for (const TPointD& q : pts) {
        l = std::min(l, q.x);
        r = std::max(r, q.x);
        t = std::min(t, q.y);
        b = std::max(b, q.y);
    }
    const int x1 = int(std::floor(l)) - margin, y1 = int(std::floor(t)) - margin;
    const int x2 = int(std::ceil(r)) + margin, y2 = int(std::ceil(b)) + margin;
    return QRect(x1, y1, x2 - x1 + 1, y2 - y1 + 1);
}

} // namespace

void TInputForm::PaintNormal(QPainter& p, QRect clip) {
    clip &= QRect(0, 0, DesktopImage.Width(), DesktopImage.Height());
    if (clip.isEmpty()) return;

    CaptureShape selection;
    std::vector<CaptureShape> ink;
    {
        std::lock_guard<std::mutex> lock(ShapeLock);
        selection.Kind = Shapes[0].Kind;
        selection.Points = Shapes[0].Points;
        ink.resize(Shapes.size());
        for (size_t i = 1; i < Shapes.size(); ++i) {
            ink[i].Kind = Shapes[i].Kind;
            ink[i].Points = Shapes[i].Points;
        }
    }

    // The layer is the plain tint except where something is drawn on it: only that part of the clip
    // is filled and drawn, the rest is the tint laid straight over the desktop.
    const int alpha = HelpCardAlpha.load();
    QRect drawn;
    if (alpha > 0 && !HelpCard.Empty()) drawn |= HelpCardRect;
    // The outline is 9 pixels wide with round ends, its anti-aliased edge one more.
    drawn |= PointsBounds(selection.Points, 8);
    const int inkMargin = int(std::ceil(PenWidth.load() / 2)) + 2;
    for (size_t i = 1; i < ink.size(); ++i) {
        const QRect bounds = PointsBounds(ink[i].Points, inkMargin) & clip;
        // A stroke wholly outside this paint is not stroked at all.
        if (bounds.isEmpty())
            ink[i].Points.clear();
        else
            drawn |= bounds;
    }
    drawn &= clip;

    if (!drawn.isEmpty()) {
        OverlayBuffer.FillRect(drawn, TintColor, 256);
        if (alpha > 0 && !HelpCard.Empty()) {
            const QRect part = HelpCardRect & drawn;
            if (!part.isEmpty())
                HelpCard.AlphaDraw(OverlayBuffer, part.left(), part.top(),
                                   part.translated(-HelpCardRect.topLeft()), alpha);
        }
        Painter->SetClipBox(drawn.left(), drawn.top(), drawn.left() + drawn.width(),
                            drawn.top() + drawn.height());
        const std::vector<TPointD>& pts = selection.Points;
        if (!pts.empty()) {
            Painter->SetLineWidth(10);
            Painter->SetLineColorArgb(OutlineColor);
            if (selection.Kind < 0) {
                const TShapeBounds h = RectangleBounds(selection);
                OverlayBuffer.FillRect(h.ToRect() & drawn, 0, 256);
            } else {
                std::vector<double> xy;
                xy.reserve(pts.size() * 2);
                for (const TPointD& q : pts) {
                    xy.push_back(q.x);
                    xy.push_back(q.y);
                }
                Painter->SetBlendMode(AggBlendClear);
                Painter->Polygon(xy.data(), int(pts.size()), PathDrawMode::FillOnly);
                Painter->SetBlendMode(AggBlendAlpha);
            }
            TAggPath& path = Painter->Path();
            path.RemoveAll();
            path.MoveTo(pts[0].x, pts[0].y);
            for (size_t i = 1; i < pts.size(); ++i)
                path.LineTo(pts[i].x, pts[i].y);
            if (selection.Kind < 0) path.ClosePolygon(); // a lasso's outline stays open
            Painter->Rasterizer().Reset();
            Painter->Rasterizer().AddPath(*OutlineStroke);
            Painter->RenderCoverage(false);
        }
        DrawInk(*Painter, ink, PenWidth.load(), InkColor);
    }

    const DibOps::View desktop = ShownDesktop();
    const int dw = desktop.width, dh = desktop.height;

    QPoint origin;
    QImage* surface = DirectSurface(p, origin);
    TDIB scratch;
    DibOps::View out;
    QPoint at; // where the clip's top-left corner goes in `out`
    if (surface && QRect(QPoint(0, 0), surface->size()).contains(clip.translated(origin))) {
        // Written as the painter writes: through the surface's own pixels, never a detached copy.
        out = DibOps::View{const_cast<uint8_t*>(surface->constBits()), surface->bytesPerLine(),
                           surface->width(), surface->height(), 4};
        at = clip.topLeft() + origin;
    } else {
        scratch.SetSize(clip.width(), clip.height(), 32);
        out = DibOps::View{scratch.Bits(), scratch.BytesPerRow(), clip.width(), clip.height(), 4};
    }
    const DibOps::View layer{OverlayBuffer.Bits(), OverlayBuffer.BytesPerRow(), dw, dh, 4};
    // Each row of the clip: the tint beside the drawn part, the layer blended over the desktop in it
    // (row by row, so that the blend finds the copied row still in the cache).
    auto compose = [&](int top, int bottom) {
        for (int yy = top; yy < bottom; ++yy) {
            const int ox = at.x() - clip.left(), oy = at.y() - clip.top() + yy;
            if (yy < drawn.top() || yy > drawn.bottom()) {
                DibOps::TintOver(desktop, QRect(clip.left(), yy, clip.width(), 1), out, at.x(), oy,
                                 TintColor);
                continue;
            }
            if (drawn.left() > clip.left())
                DibOps::TintOver(desktop, QRect(clip.left(), yy, drawn.left() - clip.left(), 1), out, at.x(),
                                 oy, TintColor);
            if (drawn.right() < clip.right())
                DibOps::TintOver(desktop, QRect(drawn.right() + 1, yy, clip.right() - drawn.right(), 1), out,
                                 ox + drawn.right() + 1, oy, TintColor);
            const QRect row(drawn.left(), yy, drawn.width(), 1);
            if (desktop.bpp == 3) {
                DibOps::Copy24To32(desktop, row, out, ox + drawn.left(), oy);
            } else {
                DibOps::Copy(desktop, row, out, ox + drawn.left(), oy);
                uint32_t* p = reinterpret_cast<uint32_t*>(out.Pixel(ox + drawn.left(), oy));
                for (int i = 0; i < drawn.width(); ++i)
                    p[i] |= 0xFF000000u;
            }
            DibOps::AlphaBlend(layer, row, out, ox + drawn.left(), oy, 255, true);
        }
    };
    // A whole screen's worth (the first paint above all, whose surface is fresh memory) is shared with
    // a second thread, each backing its part of the surface (and of fresh grabbed rows) in one go before
    // writing: the frame is out in about half the time on two cores.
    const int top = clip.top(), bottom = clip.bottom() + 1;
    // While the X server still draws the backdrop it keeps a core busy: the first frame then goes on
    // the other one alone.
    const bool serverBusy = backdropDrawn_ && !firstPaintDone_;
    if (qint64(clip.width()) * clip.height() < (1 << 20) || std::thread::hardware_concurrency() < 2 ||
        serverBusy) {
        compose(top, bottom);
    } else {
        auto prepared = [&](int from, int to) {
            const int oy = at.y() - clip.top();
            PrepareMemory(out.Row(oy + from), size_t(out.stride) * size_t(to - from), true);
            if (desktop.bpp == 4)
                PrepareMemory(desktop.Row(from), size_t(desktop.stride) * size_t(to - from), false);
            compose(from, to);
        };
        const int half = top + clip.height() / 2;
        std::thread other(prepared, half, bottom);
        prepared(top, half);
        other.join();
    }
    if (!scratch.Empty()) ShowScratch(p, scratch, clip);
}

DibOps::View TInputForm::ShownDesktop() {
    // The grabbed rows until they are narrowed into the picture, then the picture.
    const int dw = DesktopImage.Width(), dh = DesktopImage.Height();
    if (pending_.rows) {
        if (!filled_.load(std::memory_order_acquire))
            return DibOps::View{pending_.rows->bits, pending_.rows->stride, dw, dh, 4};
        WaitForDesktop();
    }
    return DibOps::View{DesktopImage.Bits(), DesktopImage.BytesPerRow(), dw, dh, 3};
}

void TInputForm::PaintZoomed(QPainter& p) {
    const int w = std::max(1, int(std::ceil(capBox_->width() * scale_)));
    const int h = std::max(1, int(std::ceil(capBox_->height() * scale_)));
    // The zoomed view is rebuilt whole on every paint. Where the window's surface can be written
    // directly and the whole box is being painted, the frame goes straight into it; otherwise into a
    // 32-bit frame kept between paints (the worker asks for one every 10 ms while zoom or pan
    // animate, and a fresh one per paint would be allocated and faulted in each time).
    QPoint origin;
    QImage* surface = DirectSurface(p, origin);
    const bool direct = surface && capBox_->PaintRect().contains(capBox_->rect()) &&
                        QRect(QPoint(0, 0), surface->size()).contains(QRect(origin, QSize(w, h)));
    DibOps::View out;
    if (direct) {
        out = DibOps::View{const_cast<uint8_t*>(surface->constBits()), surface->bytesPerLine(), w, h, 4};
        out.bits = out.Pixel(origin.x(), origin.y());
    } else {
        if (ZoomShown.Width() != w || ZoomShown.Height() != h) ZoomShown = TDIB(w, h, 32);
        out = ViewOfImage(ZoomShown);
    }
    int mode = ResampleMode;
    if (mode == 1 && PaintZoom > 1 && PaintZoom < 1.95) mode = 2;
    const double zoom = PaintZoom > 0 ? PaintZoom : 1;
    TZoomedView view;
    view.zoom = zoom;
    view.offset = PaintOffset;
    view.firstPixel = ImageFromClient(0, 0);
    view.mode = mode;
    view.phase = TickCount.load() * 100.0;
    view.background = ZoomBackground;
    DrawZoomedDesktop(ShownDesktop(), ZoomScratch, ZoomRows, out, view);
    if (!PickRect.None()) {
        const QRect n = PickRect.Normalised();
        const QPoint a = ClientFromImage(n.left(), n.top());
        const QPoint b = ClientFromImage(n.left() + n.width(), n.top() + n.height());
        if (!ReadoutPainter) ReadoutPainter = std::make_unique<TAgg2D>();
        DrawPickDisplay(out, ZoomPanel, *ReadoutPainter, QRect(a, QSize(b.x() - a.x(), b.y() - a.y())), n,
                        PickRect.Degenerate(), PickedColor, view.phase);
    }
    if (!direct) ShowScratch(p, ZoomShown, QRect(0, 0, w, h));
}
