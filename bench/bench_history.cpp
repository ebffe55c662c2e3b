// Opening the history tab with 100 kept 1920 x 1080 captures: the index read, the list made and
// painted with the thumbnails it shows. Target: under 150 ms.
#include "BenchSupport.h"
#include "CaptureHistory.h"
#include "HistoryPage.h"

#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// A folder with 100 entries, made once for the run.
const QString& HundredEntries() {
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        auto d = std::make_unique<QTemporaryDir>();
        TCaptureHistory history(d->filePath(QStringLiteral("history")), kHistoryKeepDefault);
        TDIB capture(1920, 1080, 32);
        for (int i = 0; i < kHistoryKeepDefault; ++i) {
            capture.FillRect(QRect(0, 0, 1920, 1080), 0xFF203040u + uint32_t(i) * 0x010203u, 256);
            for (int y = i % 9; y < 1080; y += 9)
                capture.FillRect(QRect(0, y, 1920, 2), 0xFFE0C040u, 256);
            history.Add(capture, QStringLiteral("Capture %1").arg(i), {},
                        QDateTime::currentDateTimeUtc().addSecs(i));
            history.WaitForWrites(); // each its own pixels
        }
        return d;
    }();
    static const QString folder = dir->filePath(QStringLiteral("history"));
    return folder;
}

void BM_HistoryTabOpen(benchmark::State& state) {
    if (!EnsureWidgetApplication()) {
        state.SkipWithError("no widget application");
        return;
    }
    const QString folder = HundredEntries();
    for (auto _ : state) {
        std::unique_ptr<TCaptureHistory> history;
        QWidget sheet;
        sheet.resize(466, 420);
        THistoryPage page(&sheet, THistoryPage::TWiring{.history = [&]() -> TCaptureHistory& {
                                                            history =
                                                                std::make_unique<TCaptureHistory>(folder);
                                                            return *history;
                                                        },
                                                        .exportSettings = {}});
        page.ShowEntries();
        sheet.show();
        sheet.repaint();
        QCoreApplication::processEvents();
        if (!history || history->Entries().size() != size_t(kHistoryKeepDefault)) {
            state.SkipWithError("the history did not read its 100 entries");
            return;
        }
    }
}
BENCHMARK(BM_HistoryTabOpen)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
