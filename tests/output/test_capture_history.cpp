// The history of captures: pictures and thumbnails written off the caller's thread, the index read
// back by a new history over the same folder, the newest kept, and damage that costs only itself.
#include "CaptureHistory.h"
#include "OutputTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>

namespace {

QDateTime At(int second) {
    return QDateTime(QDate(2026, 12, 11), QTime(9, 0, second, 250), Qt::UTC);
}

QStringList Names(const TCaptureHistory& h) {
    QStringList names;
    for (const THistoryEntry& e : h.Entries())
        names << e.name;
    return names;
}

int IndexLines(const QString& folder) {
    return int(ReadAll(folder + QStringLiteral("/index.jsonl")).count('\n'));
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

class CaptureHistoryTest : public ::testing::Test {
  protected:
    QTemporaryDir dir_;
    QString folder_ = dir_.filePath(QStringLiteral("history"));
};

// One scenario from capture to restart: the pictures are the captures (exact colours, alpha kept
// where a lasso left it), each with a thumbnail that fits, listed newest first whatever order they
// came in, and a new history over the folder reads exactly the same list.
TEST_F(CaptureHistoryTest, KeepsEveryCaptureAndReadsItBackAfterARestart) {
    const TDIB gradient = ComposeGradient(300, 200, 32);
    std::vector<THistoryEntry> before;
    {
        TCaptureHistory history(folder_);
        {
            // The caller lets go of its capture at once; the history's share keeps the pixels.
            TDIB lasso = ComposeLassoCapture(64, 48).capture;
            history.Add(lasso, QStringLiteral("lasso"), {}, At(2));
        }
        history.Add(gradient, QStringLiteral("窗口 \"one\"\nline"), QRect(-100, 40, 1, 1), At(3));
        history.Add(ComposeGradient(10, 10, 24), QStringLiteral("oldest"), {}, At(1));
        history.WaitForWrites();
        ASSERT_EQ(Names(history), (QStringList{QStringLiteral("窗口 \"one\"\nline"), "lasso", "oldest"}));
        before = history.Entries();
    }
    ASSERT_EQ(IndexLines(folder_), 3);

    const THistoryEntry& newest = before[0];
    EXPECT_EQ(newest.size, QSize(300, 200));
    EXPECT_EQ(newest.desktopRect, QRect(-100, 40, 300, 200)) << "the place with the capture's own size";
    const TDecodedPng png = DecodePng(ReadAll(folder_ + u'/' + newest.file));
    ASSERT_TRUE(png.ok);
    ASSERT_EQ(png.channels, 4);
    for (const QPoint p : {QPoint(0, 0), QPoint(299, 0), QPoint(150, 77), QPoint(299, 199)}) {
        const int x = p.x(), y = p.y();
        const uint8_t* want = gradient.PixelPtr(x, y);
        const uint8_t* got = &png.pixels[size_t(y * 300 + x) * 4];
        EXPECT_EQ((std::array{got[0], got[1], got[2], got[3]}),
                  (std::array<uint8_t, 4>{want[2], want[1], want[0], 255}))
            << x << "," << y;
    }
    const TDecodedPng lasso = DecodePng(ReadAll(folder_ + u'/' + before[1].file));
    ASSERT_TRUE(lasso.ok);
    EXPECT_EQ(lasso.pixels[3], 0) << "outside the lasso stays transparent";
    const TDecodedPng thumb = DecodePng(ReadAll(folder_ + u'/' + HistoryThumbName(newest.file)));
    ASSERT_TRUE(thumb.ok);
    EXPECT_EQ(QSize(thumb.width, thumb.height), QSize(120, 80)) << "3:2 scaled down into 120 x 80";
    const TDecodedPng tiny = DecodePng(ReadAll(folder_ + u'/' + HistoryThumbName(before[2].file)));
    EXPECT_EQ(QSize(tiny.width, tiny.height), QSize(10, 10)) << "never scaled up";

    const TCaptureHistory again(folder_);
    EXPECT_EQ(again.Entries(), before);
}

// The newest are kept: the captures beyond the number to keep go with their files at the capture
// that makes them too many; a smaller number waits for the next capture; none kept removes them all.
TEST_F(CaptureHistoryTest, KeepsTheNewestAndRemovesTheFilesOfTheOthers) {
    TCaptureHistory history(folder_, 3);
    const TDIB capture = ComposeGradient(20, 10, 32);
    for (int i = 1; i <= 5; ++i)
        history.Add(capture, QString::number(i), {}, At(i));
    history.WaitForWrites();
    EXPECT_EQ(Names(history), (QStringList{"5", "4", "3"}));
    const auto files = [this] {
        return QDir(folder_).entryList({QStringLiteral("*.png")}, QDir::Files).size();
    };
    EXPECT_EQ(files(), 6) << "three pictures and their thumbnails";
    EXPECT_EQ(IndexLines(folder_), 3);

    history.SetKeep(1);
    EXPECT_EQ(history.Entries().size(), 3u) << "nothing goes before the next capture";
    history.Add(capture, QStringLiteral("6"), {}, At(6));
    history.WaitForWrites();
    EXPECT_EQ(Names(history), QStringList{"6"});
    EXPECT_EQ(files(), 2);

    history.SetKeep(0);
    history.Add(capture, QStringLiteral("7"), {}, At(7));
    history.WaitForWrites();
    EXPECT_TRUE(history.Entries().empty());
    EXPECT_EQ(files(), 0);
    EXPECT_TRUE(TCaptureHistory(folder_).Entries().empty());
}

TEST_F(CaptureHistoryTest, RemovedEntriesGoWithTheirFilesForGood) {
    TCaptureHistory history(folder_);
    history.Add(ComposeGradient(20, 10, 32), QStringLiteral("a"), {}, At(1));
    history.Add(ComposeGradient(20, 10, 32), QStringLiteral("b"), {}, At(2));
    history.WaitForWrites();
    const THistoryEntry b = history.Entries()[0];
    EXPECT_FALSE(history.Remove(QStringLiteral("no-such.png")));
    ASSERT_TRUE(history.Remove(b.file));
    history.WaitForWrites();
    EXPECT_FALSE(QFileInfo::exists(history.PicturePath(b)));
    EXPECT_FALSE(QFileInfo::exists(history.ThumbnailPath(b)));
    EXPECT_EQ(Names(TCaptureHistory(folder_)), QStringList{"a"});
}

// A damaged index keeps what it can: the lines that read, whose pictures are there, and is mended. A
// picture that lost its line comes back under its time; what an index names outside the folder is
// never touched.
TEST_F(CaptureHistoryTest, ADamagedIndexCostsOnlyTheDamagedEntries) {
    QStringList kept;
    {
        TCaptureHistory history(folder_);
        for (int i = 1; i <= 3; ++i)
            history.Add(ComposeGradient(20, 10, 32), QStringLiteral("entry %1").arg(i), {}, At(i));
        history.WaitForWrites();
        for (const THistoryEntry& e : history.Entries())
            kept << e.file;
    }
    const QList<QByteArray> lines = ReadAll(folder_ + QStringLiteral("/index.jsonl")).split('\n');
    // kept is newest first: lines[0] is entry 3, lines[2] entry 1.
    Write(dir_.filePath(QStringLiteral("outside.png")), "not ours");
    Write(folder_ + QStringLiteral("/notes.png"), "a file of the user's, no capture");
    QByteArray damaged = lines[0] + '\n';                 // entry 3, whole
    damaged += lines[1].left(lines[1].size() / 2) + '\n'; // entry 2, cut in the middle
    damaged += "\x01\xff garbage {\n";                    // noise
    damaged += R"({"file":"../outside.png","time":"2026-12-11T09:00:09.000Z","name":"x"})"
               "\n";
    damaged += R"({"file":"gone.png","time":"2026-12-11T09:00:08.000Z","name":"gone"})"
               "\n";
    damaged += lines[0] + '\n'; // entry 3 once more
    damaged += lines[2];        // entry 1, without its line end
    Write(folder_ + QStringLiteral("/index.jsonl"), damaged);

    {
        TCaptureHistory history(folder_);
        EXPECT_EQ(Names(history), (QStringList{"entry 3", QString(), "entry 1"}))
            << "entry 2 comes back from its picture, without its name";
        ASSERT_EQ(history.Entries().size(), 3u);
        EXPECT_EQ(history.Entries()[1].file, kept[1]);
        EXPECT_EQ(history.Entries()[1].time, At(2));
        EXPECT_EQ(history.Entries()[1].size, QSize(20, 10));
        history.WaitForWrites();
        EXPECT_EQ(IndexLines(folder_), 3) << "the index is written anew with what was kept";
        const std::vector<THistoryEntry> entries = history.Entries();
        for (const THistoryEntry& e : entries)
            EXPECT_TRUE(history.Remove(e.file));
        history.WaitForWrites();
    }
    EXPECT_TRUE(QFileInfo::exists(dir_.filePath(QStringLiteral("outside.png"))));
    EXPECT_TRUE(QFileInfo::exists(folder_ + QStringLiteral("/notes.png")));
}

// A folder that cannot be made: the capture is not kept, and nothing else is harmed.
TEST_F(CaptureHistoryTest, AFolderThatCannotBeWrittenKeepsNothingAndGoesOn) {
    Write(folder_, "a file where the folder should be");
    TCaptureHistory history(folder_);
    history.Add(ComposeGradient(20, 10, 32), QStringLiteral("a"), {}, At(1));
    history.WaitForWrites();
    EXPECT_TRUE(history.Entries().empty());
    EXPECT_EQ(history.PendingCaptures(), 0);
}

} // namespace
