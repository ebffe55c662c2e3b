// A layered test window over an opaque one, for the end-to-end check of translucency, clicks
// through the shadow margin and the animated fade-out; also the demo picture of the window family.
//
//   vexmor_layered_demo LOGFILE
//
// The opaque window is pure blue at (100, 100) 400 x 300. The layered window's visible area is
// (200, 150) 200 x 120, drawn translucent red (premultiplied 0x80800000) with a 20-pixel shadow
// margin of translucent black (0x60000000) on every side. Both windows log their mouse presses
// (screen coordinates) to LOGFILE. Creating the file LOGFILE.fade starts the fade-out; the program
// logs "closed" when the layered window has closed and then ends.
#include "LayeredForms.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

QString logPath;

void Log(const QString& line) {
    QFile f(logPath);
    if (f.open(QIODevice::Append | QIODevice::Text)) QTextStream(&f) << line << '\n';
}

class TBelowWindow : public QWidget {
  public:
    TBelowWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
        setGeometry(100, 100, 400, 300);
    }

  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(0, 0, 255)); }
    void mousePressEvent(QMouseEvent* e) override {
        const QPoint g = e->globalPosition().toPoint();
        Log(QStringLiteral("below-press %1 %2").arg(g.x()).arg(g.y()));
    }
};

class TDemoForm : public TLayeredFormEx {
  public:
    TDemoForm() {
        SetShadowMargins(QMargins(20, 20, 20, 20));
        SetLayeredRect(QRect(200, 150, 200, 120), false);
        OnPaint = [](TLayeredForm* f) {
            TDIB& s = f->Surface;
            const QMargins m = f->ShadowMargins();
            s.FillRect(QRect(0, 0, s.Width(), s.Height()), 0x60000000u, 256);
            s.FillRect(QRect(m.left(), m.top(), f->LayeredRect().width(), f->LayeredRect().height()),
                       0x80800000u, 256);
        };
    }

  protected:
    void mousePressEvent(QMouseEvent* e) override {
        const QPoint g = e->globalPosition().toPoint();
        Log(QStringLiteral("layered-press %1 %2").arg(g.x()).arg(g.y()));
        TLayeredFormEx::mousePressEvent(e);
    }
    void closeEvent(QCloseEvent* e) override {
        TLayeredFormEx::closeEvent(e);
        Log(QStringLiteral("closed"));
        QTimer::singleShot(200, qApp, &QCoreApplication::quit);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LOGFILE\n", argv[0]);
        return 2;
    }
    logPath = QString::fromLocal8Bit(argv[1]);
    QApplication::setQuitOnLastWindowClosed(false);

    TBelowWindow below;
    below.show();
    TDemoForm form;
    form.setWindowFlag(Qt::WindowStaysOnTopHint);
    form.SetVisibleAnim(true);

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (form.Animating) return;
        if (form.isVisible() && form.AnimProgress == 0 && !QFile::exists(logPath + ".shown")) {
            Log(QStringLiteral("shown 0x%1").arg(form.winId(), 0, 16));
            QFile(logPath + ".shown").open(QIODevice::WriteOnly);
        }
        if (QFile::exists(logPath + ".fade") && form.VisibleAnim()) {
            Log(QStringLiteral("fading"));
            form.SetVisibleAnim(false);
        }
    });
    poll.start(50);
    return app.exec();
}
