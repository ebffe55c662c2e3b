// A full-screen window on each screen (or on the named ones) that logs what the compositor tells it,
// for the end-to-end checks of the Wayland test harness itself.
//
//   vexmor_wl_probe LOG [SCREEN-NAME...]
//
// LOG gets one flushed line per fact:
//   screen NAME X Y W H DPR            each screen at start (logical geometry)
//   exposed NAME W H DPR RRGGBB        a window shown, by the screen it ended up on, and its colour
//   press|release NAME X Y BUTTON MODS window-local logical position; MODS like ctrl+shift or none
//   at NAME X Y                        the pointer entered the window or moved over it, no button held
//   drag NAME X Y MODS                 motion with a button held
//   wheel NAME STEPS MODS              wheel steps, positive downwards (as the input helper's wheel N)
//   keydown|keyup NAME KEY MODS        KEY as Qt names it (Ctrl, Esc, C)
// Each window is filled with its own colour (index I of the screen list: R = 0x20 + 0x40 * I, G = 0x80,
// B = 0xc0) and turns white while the right button is down, so that a picture of the screen shows
// which window is where and a pixel watcher sees a change. With VEXMOR_PROBE_PICTURE set to an image
// file, each window shows that picture from its top-left corner instead of its colour (a known picture
// on a desktop that has none of its own).
#include <QEnterEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QImage>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QWheelEvent>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

FILE* logFile = nullptr;

void Log(const QString& line) {
    std::fprintf(logFile, "%s\n", qPrintable(line));
    std::fflush(logFile);
}

QString Mods(Qt::KeyboardModifiers m) {
    QStringList names;
    if (m & Qt::ControlModifier) names << "ctrl";
    if (m & Qt::ShiftModifier) names << "shift";
    if (m & Qt::AltModifier) names << "alt";
    if (m & Qt::MetaModifier) names << "meta";
    return names.isEmpty() ? "none" : names.join('+');
}

QString ButtonName(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton:
        return "left";
    case Qt::RightButton:
        return "right";
    case Qt::MiddleButton:
        return "middle";
    default:
        return QString::number(int(b));
    }
}

class TProbeWindow : public QRasterWindow {
  public:
    explicit TProbeWindow(QColor colour) : fill(colour) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRect(QPoint(0, 0), size()), white ? QColor(Qt::white) : fill);
        if (!white && !picture.isNull()) painter.drawImage(QPoint(0, 0), picture);
    }
    void exposeEvent(QExposeEvent* e) override {
        if (isExposed() && !exposedOnce) {
            exposedOnce = true;
            Log(QString("exposed %1 %2 %3 %4 %5")
                    .arg(screen()->name())
                    .arg(width())
                    .arg(height())
                    .arg(devicePixelRatio())
                    .arg(fill.name().mid(1)));
        }
        QRasterWindow::exposeEvent(e);
    }
    void mousePressEvent(QMouseEvent* e) override { logButton("press", e); }
    void mouseReleaseEvent(QMouseEvent* e) override { logButton("release", e); }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::Enter) logAt(static_cast<QEnterEvent*>(e)->position());
        return QRasterWindow::event(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (e->buttons() == Qt::NoButton) return logAt(e->position());
        Log(QString("drag %1 %2 %3 %4")
                .arg(screen()->name())
                .arg(e->position().x())
                .arg(e->position().y())
                .arg(Mods(e->modifiers())));
    }
    void wheelEvent(QWheelEvent* e) override {
        Log(QString("wheel %1 %2 %3")
                .arg(screen()->name())
                .arg(-e->angleDelta().y() / 120.0)
                .arg(Mods(e->modifiers())));
    }
    void keyPressEvent(QKeyEvent* e) override { logKey("keydown", e); }
    void keyReleaseEvent(QKeyEvent* e) override { logKey("keyup", e); }

  private:
    // Where the pointer is, once per point: a press sent before the compositor has placed the window
    // under the pointer reaches nobody, so the tests wait for this before pressing.
    void logAt(QPointF p) {
        if (p == lastAt) return;
        lastAt = p;
        Log(QString("at %1 %2 %3").arg(screen()->name()).arg(p.x()).arg(p.y()));
    }
    void logButton(const char* what, QMouseEvent* e) {
        Log(QString("%1 %2 %3 %4 %5 %6")
                .arg(what, screen()->name())
                .arg(e->position().x())
                .arg(e->position().y())
                .arg(ButtonName(e->button()), Mods(e->modifiers())));
        if (e->button() == Qt::RightButton) {
            white = e->type() == QEvent::MouseButtonPress;
            update();
        }
    }
    void logKey(const char* what, QKeyEvent* e) {
        if (e->isAutoRepeat()) return;
        Log(QString("%1 %2 %3 %4")
                .arg(what, screen()->name(), QKeySequence(e->key()).toString(QKeySequence::PortableText),
                     Mods(e->modifiers())));
    }

    QColor fill;
    QImage picture{qEnvironmentVariable("VEXMOR_PROBE_PICTURE")};
    QPointF lastAt{-1, -1};
    bool white = false, exposedOnce = false;
};

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: vexmor_wl_probe LOG [SCREEN-NAME...]\n");
        return 2;
    }
    logFile = std::fopen(qPrintable(args[0]), "a");
    if (!logFile) {
        std::perror(qPrintable(args[0]));
        return 2;
    }
    const QStringList wanted = args.mid(1);
    const QList<QScreen*> screens = app.screens();
    std::vector<std::unique_ptr<TProbeWindow>> windows;
    for (qsizetype i = 0; i < screens.size(); ++i) {
        QScreen* s = screens[i];
        const QRect r = s->geometry();
        Log(QString("screen %1 %2 %3 %4 %5 %6")
                .arg(s->name())
                .arg(r.x())
                .arg(r.y())
                .arg(r.width())
                .arg(r.height())
                .arg(s->devicePixelRatio()));
        if (!wanted.isEmpty() && !wanted.contains(s->name())) continue;
        auto w = std::make_unique<TProbeWindow>(QColor(0x20 + 0x40 * int(i % 4), 0x80, 0xc0));
        w->setTitle("vexmor-probe " + s->name());
        w->setScreen(s);
        w->setGeometry(r);
        w->showFullScreen();
        windows.push_back(std::move(w));
    }
    if (windows.empty()) {
        std::fprintf(stderr, "vexmor_wl_probe: none of the screens asked for exists\n");
        return 2;
    }
    return app.exec();
}
