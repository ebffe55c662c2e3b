// A window that accepts dropped files, for the end-to-end tests of dragging the capture out.
//
//   vexmor_drop_target X Y W H [--read-on-enter] [--refuse]
//
// Prints "ENTER" when a drag with URLs comes in (after reading the list there with --read-on-enter),
// and at the drop one line "DROP <path> <exists 0|1> <size>" per local file, then "DROPPED <action>".
// With --refuse it takes nothing and prints "REFUSE" when a drag comes in, so that a test knows the
// drag is over it before letting go. Every line is flushed at once.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

class TDropTarget : public QWidget {
  public:
    bool readOnEnter = false, refuse = false;

  protected:
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (refuse) {
            std::printf("REFUSE\n");
            std::fflush(stdout);
            return e->ignore();
        }
        if (!e->mimeData()->hasUrls()) return e->ignore();
        if (readOnEnter) {
            const QList<QUrl> urls = e->mimeData()->urls();
            std::printf("ENTER %lld\n", static_cast<long long>(urls.size()));
        } else {
            std::printf("ENTER\n");
        }
        std::fflush(stdout);
        e->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* e) override {
        if (refuse) return e->ignore();
        e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override {
        if (refuse) return e->ignore();
        const QList<QUrl> urls = e->mimeData()->urls();
        for (const QUrl& url : urls) {
            const QFileInfo info(url.toLocalFile());
            std::printf("DROP %s %d %lld\n", qPrintable(url.toLocalFile()), info.exists() ? 1 : 0,
                        static_cast<long long>(info.exists() ? info.size() : 0));
        }
        e->acceptProposedAction();
        std::printf("DROPPED %d %lld\n", int(e->dropAction()), static_cast<long long>(urls.size()));
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: vexmor_drop_target X Y W H [--read-on-enter] [--refuse]\n");
        return 2;
    }
    TDropTarget target;
    target.readOnEnter = args.contains(QStringLiteral("--read-on-enter"));
    target.refuse = args.contains(QStringLiteral("--refuse"));
    target.setWindowTitle(QStringLiteral("VexmorDropTarget"));
    target.setAcceptDrops(true);
    target.setAutoFillBackground(true);
    target.setPalette(QPalette(QColor(40, 120, 60)));
    target.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    target.setGeometry(args[1].toInt(), args[2].toInt(), args[3].toInt(), args[4].toInt());
    target.show();
    std::printf("READY\n");
    std::fflush(stdout);
    return app.exec();
}
