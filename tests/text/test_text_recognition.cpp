#include "CodeReader.h"
#include "TextCompare.h"
#include "TextEngine.h"
#include "TextWorker.h"

#include <QEventLoop>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <map>

namespace {

const char* const English = "Copy the text out of an error dialog\nand paste it into the bug report.";
const char* const Chinese = "把错误对话框里的文字复制出来，\n粘贴到问题报告里。";

TDIB Rendered(const char* text, const char* family, int px, QColor ground, QColor ink, int bitCount = 24) {
    QImage image(520, 110, QImage::Format_ARGB32_Premultiplied);
    image.fill(ground);
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(px);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(ink);
    p.drawText(image.rect().adjusted(10, 10, -10, -10), Qt::AlignLeft | Qt::AlignTop,
               QString::fromUtf8(text));
    p.end();
    return TDIB::FromQImage(image, bitCount);
}

// Each test its own engine: one kept until the exit would outlive the engine library's own cache.
struct TLoadedEngine {
    TTextEngine engine;
    TLoadedEngine() { engine.Load(TTextEngine::UsableLanguages({})); }
};

TEST(TextRecognition, InstalledLanguagesAreFoundAndChineseLeads) {
    const QStringList installed = TTextEngine::InstalledLanguages();
    EXPECT_TRUE(installed.contains(QStringLiteral("eng")));
    EXPECT_TRUE(installed.contains(QStringLiteral("chi_sim")));
    EXPECT_FALSE(installed.contains(QStringLiteral("osd")));
    EXPECT_EQ(TTextEngine::UsableLanguages({}).value(0), QStringLiteral("chi_sim"));
    EXPECT_EQ(TTextEngine::UsableLanguages({QStringLiteral("eng"), QStringLiteral("klingon")}),
              QStringList{QStringLiteral("eng")});
    TTextEngine none;
    EXPECT_FALSE(none.Load({QStringLiteral("klingon")}));
    EXPECT_FALSE(none.Loaded());
}

TEST(TextRecognition, EnglishAndChineseInBothColourSchemes) {
    TLoadedEngine loaded;
    ASSERT_TRUE(loaded.engine.Loaded());
    struct Case {
        const char* text;
        const char* family;
        int px;
        bool dark;
        double maxRate;
    };
    for (const Case& c :
         {Case{English, "DejaVu Sans", 14, false, 0.02}, Case{English, "DejaVu Sans Mono", 12, true, 0.02},
          Case{Chinese, "WenQuanYi Micro Hei", 14, true, 0.05},
          Case{Chinese, "WenQuanYi Micro Hei", 20, false, 0.05}}) {
        const TDIB picture =
            c.dark ? Rendered(c.text, c.family, c.px, QColor(0x1e, 0x1e, 0x1e), QColor(0xd4, 0xd4, 0xd4), 32)
                   : Rendered(c.text, c.family, c.px, Qt::white, Qt::black);
        const TTextResult r = RecognisePicture(loaded.engine, picture);
        const QString want = QString::fromUtf8(c.text);
        EXPECT_LE(CharacterErrorRate(r.text, want), c.maxRate)
            << c.family << " " << c.px << ": " << r.text.toStdString();
        // The line break stays.
        EXPECT_EQ(r.text.count(QLatin1Char('\n')), 1) << r.text.toStdString();
        EXPECT_EQ(r.ClipboardText(), r.text);
    }
}

TEST(TextWorker, QueuesRequestsCancelsAndStopsWithWorkPending) {
    std::map<int, TTextResult> results;
    std::vector<int> order;
    {
        TTextWorker worker;
        QObject::connect(&worker, &TTextWorker::Finished, &worker, [&](int id, const TTextResult& r) {
            results[id] = r;
            order.push_back(id);
        });
        const TDIB english = Rendered(English, "DejaVu Sans", 14, Qt::white, Qt::black);
        const int first = worker.Recognise(english);
        const int second =
            worker.Recognise(Rendered(Chinese, "WenQuanYi Micro Hei", 16, Qt::white, Qt::black));
        const int dropped = worker.Recognise(english);
        worker.Cancel(dropped);
        EXPECT_TRUE(results[dropped].cancelled); // a waiting request is answered at once
        QEventLoop loop;
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        QObject::connect(&worker, &TTextWorker::Finished, &loop, [&] {
            if (results.count(first) && results.count(second)) loop.quit();
        });
        loop.exec();
        ASSERT_TRUE(results.count(first) && results.count(second));
        EXPECT_EQ(order, (std::vector<int>{dropped, first, second}));
        EXPECT_GT(results[first].loadMs, 0); // the first loads the engine, the next keeps it
        EXPECT_EQ(results[second].loadMs, 0);
        EXPECT_LE(CharacterErrorRate(results[first].text, QString::fromUtf8(English)), 0.02);
        EXPECT_LE(CharacterErrorRate(results[second].text, QString::fromUtf8(Chinese)), 0.05);
        EXPECT_EQ(worker.Pending(), 0);
        // Left with work queued: the destructor must not wait for it.
        for (int i = 0; i < 5; ++i)
            worker.Recognise(english);
    }
    EXPECT_EQ(results.size(), 3u);
}

// Runs after the worker's test: the child process that makes the code (qrencode) is started in a way
// the thread sanitizer cannot follow, and it loses track of the locks held afterwards.
TEST(TextCodes, QrCodeIsReadAndAPlainGroundGivesNothing) {
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("code.png"));
    const QString url = QStringLiteral("https://tolvane.net/vexmor/?q=识别");
    ASSERT_EQ(QProcess::execute(QStringLiteral("qrencode"),
                                {QStringLiteral("-s"), QStringLiteral("4"), QStringLiteral("-o"), png, url}),
              0);
    QImage code(png);
    ASSERT_FALSE(code.isNull());
    // On a dark ground, light modules: the inverted picture is what the reader sees.
    code.invertPixels();
    QImage shown(code.width() + 80, code.height() + 40, QImage::Format_RGB32);
    shown.fill(QColor(0x10, 0x10, 0x10));
    QPainter(&shown).drawImage(40, 20, code);
    TLoadedEngine loaded;
    const TTextResult r = RecognisePicture(loaded.engine, TDIB::FromQImage(shown, 24));
    ASSERT_EQ(r.codes.size(), 1u);
    EXPECT_EQ(r.codes[0].kind, QStringLiteral("QR-Code"));
    EXPECT_EQ(r.codes[0].text, url);
    EXPECT_TRUE(r.text.isEmpty()) << r.text.toStdString();
    EXPECT_EQ(r.ClipboardText(), url);
    EXPECT_TRUE(IsWebAddress(url));
    for (const char* notLink : {"javascript:alert(1)", "file:///etc/passwd", "tolvane.net", "https://"})
        EXPECT_FALSE(IsWebAddress(QString::fromLatin1(notLink))) << notLink;

    TDIB plain(300, 120, 24);
    plain.FillRect(QRect(0, 0, 300, 120), 0xFF2a2a2a);
    const TTextResult nothing = RecognisePicture(loaded.engine, plain);
    EXPECT_TRUE(nothing.text.isEmpty());
    EXPECT_TRUE(nothing.codes.empty());
    EXPECT_TRUE(nothing.ClipboardText().isEmpty());
}

} // namespace
