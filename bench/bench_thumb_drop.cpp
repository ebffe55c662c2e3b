// What the user sees when a 4K capture is dropped as a PNG: the card's ticks from the start of the drag
// until 300 ms after the target has the file. Reported: the longest gap between two ticks (a frame is
// 16 ms; anything far above it is a visible stall), the time from the release until the file is
// complete, and how long the drop handler itself holds the GUI thread. Variants: the file encoded at
// the drop (the drop handler saves the capture) or made on a worker thread during the drag; a quick
// drop (200 ms, the worker still busy) and an ordinary one (1.5 s). Target: no gap above 50 ms when
// the bytes are made during the drag (on a quiet machine).
#include "BenchSupport.h"
#include "Export.h"
#include "FakePlatform.h"
#include "Thumb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

namespace {

// A screen-like 3840 x 2160 desktop: gradients, windows, text-like rows and a photo.
void PaintDesktop(TDIB& image) {
    const int w = image.Width(), h = image.Height();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            *image.PixelPtr32(x, y) =
                0xFF000000u | uint32_t(40 + y * 60 / h) << 16 | uint32_t(70 + x * 40 / w) << 8 | 120u;
    std::mt19937 rng(7);
    for (int i = 0; i < 40; ++i) {
        const int x = int(rng() % 3000), y = int(rng() % 1700), ww = 300 + int(rng() % 800),
                  hh = 200 + int(rng() % 500);
        image.FillRect(QRect(x, y, ww, hh), 0xFFF0F0F0u - (rng() % 0x202020u), 256);
        for (int row = y + 30; row + 10 < y + hh; row += 18)
            for (int col = x + 10; col + 8 < x + ww - 10; col += 9 + int(rng() % 5))
                if (rng() % 5) image.FillRect(QRect(col, row, 6, 9), 0xFF202020u, 256);
    }
    for (int y = 1200; y < 1920; ++y)
        for (int x = 2400; x < 3680; ++x)
            *image.PixelPtr32(x, y) = 0xFF000000u | ((rng() & 0x3F3F3Fu) + 0x604020u + uint32_t(x + y) % 64);
}

class TTimedCard : public TThumbForm {
  public:
    TTimedCard(IThumbOwner* owner, const TDIB& picture, int dragMs)
        : TThumbForm(owner, picture, QPointF(900, 500)), dragMs_(dragMs) {
        AnimTimer.OnTimer = [this](TQuickCustomTimer*) {
            ticks.push_back(clock.nsecsElapsed());
            Tick(AnimTimer.MissedTicks() + 1);
        };
        clock.start();
    }
    QElapsedTimer clock;
    std::vector<qint64> ticks;
    qint64 released = 0;
    TDragFileData* data = nullptr;

  protected:
    Qt::DropAction RunDrag(TDragFileData* d) override {
        data = d;
        d->setParent(this); // a real drag owns its data; here the card does
        QEventLoop loop;
        QTimer::singleShot(dragMs_, &loop, &QEventLoop::quit);
        loop.exec();
        released = clock.nsecsElapsed();
        return Qt::CopyAction;
    }

  private:
    int dragMs_;
};

void BM_ThumbDrop4K(benchmark::State& state) {
    if (!EnsureWidgetApplication())
        return state.SkipWithError("another application object without widgets exists");
    const bool ahead = state.range(0) != 0;
    const int dragMs = int(state.range(1));
    auto fake = InstallFakePlatform();
    QTemporaryDir dir;
    TDIB capture(3840, 2160, 32), flat;
    PaintDesktop(capture);
    flat.CreateCopy(capture, true);
    flat.SetBitCount(24);
    TDIB preview(518, 318, 32);
    preview.FillRect(QRect(0, 0, 518, 318), 0xFF3070B0u, 256);

    TFunctionExportOwner exportOwner;
    exportOwner.captureImage = [&] { return capture; };
    exportOwner.flatImage = [&] { return flat; };
    exportOwner.settings = [] {
        TExportSettings s;
        s.title = QStringLiteral("Drop");
        s.format = TImageFormat::Png;
        return s;
    };
    TExporter exporter(exportOwner);
    int file = 0;
    TFunctionThumbOwner owner;
    owner.bounds = [] { return QRect(100, 600, 400, 300); };
    owner.dragFileName = [&] { return dir.filePath(QStringLiteral("drop%1.png").arg(++file)); };
    if (ahead)
        owner.prepareDragFile = [&]() -> std::unique_ptr<TPreparedFile> {
            const TDIB c = capture, f = flat;
            const TExportSettings s = exportOwner.ExportSettings();
            return std::make_unique<TPreparedFile>([c, f, s](const std::atomic_bool& cancelled) {
                return EncodeCaptureBytes(c, f, s, TImageFormat::Png, &cancelled);
            });
        };
    // How long the drop handler itself holds the GUI thread (the encoding, or only the writing).
    QElapsedTimer held;
    double worstHeld = 0;
    owner.saveDragFile = [&](const QString& path, TPreparedFile* prepared) {
        if (prepared && prepared->StillCurrent())
            if (std::optional<QByteArray> bytes = prepared->Take()) {
                held.start();
                const QString written = exporter.SaveEncodedCapture(path, TImageFormat::Png, *bytes);
                worstHeld = std::max(worstHeld, held.nsecsElapsed() / 1e6);
                return written;
            }
        held.start();
        const QString written = exporter.SaveCapture(path, TImageFormat::Png);
        worstHeld = std::max(worstHeld, held.nsecsElapsed() / 1e6);
        return written;
    };

    double worstGap = 0, worstWrite = 0;
    for (auto _ : state) {
        TTimedCard card(&owner, preview, dragMs);
        card.show();
        QEventLoop settle;
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
        const qint64 start = card.clock.nsecsElapsed();
        card.StartDragOut();
        // The target asks a moment after the release, then the card goes on for a while.
        qint64 written = 0;
        QEventLoop after;
        QTimer::singleShot(2, &after, [&] {
            if (card.data->urls().isEmpty()) state.SkipWithError("the drop wrote nothing");
            written = card.clock.nsecsElapsed();
            QTimer::singleShot(300, &after, &QEventLoop::quit);
        });
        after.exec();
        card.hide();
        qint64 previous = -1;
        for (qint64 t : card.ticks) {
            if (t < start) continue;
            if (previous >= 0) worstGap = std::max(worstGap, (t - previous) / 1e6);
            previous = t;
        }
        worstWrite = std::max(worstWrite, (written - card.released) / 1e6);
    }
    state.counters["longest_tick_gap_ms"] = worstGap;
    state.counters["release_to_file_ms"] = worstWrite;
    state.counters["drop_handler_ms"] = worstHeld;
}

} // namespace

BENCHMARK(BM_ThumbDrop4K)
    ->ArgNames({"ahead", "drag_ms"})
    ->Args({0, 200})
    ->Args({1, 200})
    ->Args({0, 1500})
    ->Args({1, 1500})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
