#include "FindControl.h"
#include "TextCapture.h"
#include "TextCompare.h"
#include "TextResultWindow.h"
#include "TextWorker.h"

#include <QClipboard>
#include <QComboBox>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QElapsedTimer>
#include <QThread>

namespace {

// Runs the events until `done` holds or the time is up.
template <class F> bool WaitFor(F done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(5);
    }
    return true;
}

const char* const Sentence = "Recognised text goes to the clipboard.";

TTextCapture::TCapturePictures Pictures(const char* text) {
    QImage image(420, 60, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(15);
    p.setFont(font);
    p.drawText(10, 35, QString::fromUtf8(text));
    p.end();
    TTextCapture::TCapturePictures pictures;
    pictures.captureImage = TDIB::FromQImage(image, 32);
    pictures.desktopRect = QRect(100, 100, 420, 60);
    return pictures;
}

struct TextCaptureTest : ::testing::Test {
    std::vector<TTextCapture::TCapturePictures> kept;
    QString languages, chosen;
    TTextCapture capture{
        {.keepAsPicture = [this](const TTextCapture::TCapturePictures& p) { kept.push_back(p); },
         .openUrl = {},
         .languages = [this] { return languages; },
         .setLanguages = [this](const QString& l) { chosen = languages = l; }},
        MakeWorkerRecognition()};

    static bool Done(TTextResultWindow* w) { return w && !w->Busy(); }
    void SetUp() override { QGuiApplication::clipboard()->setText(QStringLiteral("before")); }
};

TEST_F(TextCaptureTest, NothingFoundSaysSoAndLeavesTheClipboardAlone) {
    capture.Recognise(Pictures(""));
    QPointer<TTextResultWindow> empty = capture.LatestWindow();
    ASSERT_TRUE(empty && empty->Busy() && empty->isVisible());
    ASSERT_TRUE(WaitFor([&] { return Done(empty); }, 60000));
    EXPECT_FALSE(empty->Message().isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(empty.data(), &esc);
    EXPECT_TRUE(WaitFor([&] { return empty.isNull(); }, 5000)) << "Esc closes the window";

    // Without the module, the loader's reason is told, and the clipboard is left alone as well.
    QString why;
    TTextCapture missing({}, TTextCapture::LoadModule(QStringLiteral("/nonexistent"), &why));
    ASSERT_EQ(missing.Recognition(), nullptr);
    missing.SetModuleFailure(why);
    missing.Recognise(Pictures(Sentence));
    ASSERT_NE(missing.LatestWindow(), nullptr);
    EXPECT_TRUE(missing.LatestWindow()->Message().contains(QStringLiteral("vexmor-text.so")))
        << missing.LatestWindow()->Message().toStdString();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
}

TEST_F(TextCaptureTest, AQueuedRequestWaitsAndClosingABusyWindowCancelsIt) {
    capture.Recognise(Pictures(Sentence));
    QPointer<TTextResultWindow> first = capture.LatestWindow();
    capture.Recognise(Pictures("This one is cancelled while it waits."));
    QPointer<TTextResultWindow> second = capture.LatestWindow();
    ASSERT_NE(first, second);
    ASSERT_TRUE(second->Busy());
    second->close();
    ASSERT_TRUE(WaitFor([&] { return Done(first); }, 60000));
    EXPECT_TRUE(second.isNull() || !second->isVisible());
    WaitFor([] { return false; }, 200); // nothing of the cancelled one arrives later
    EXPECT_EQ(QGuiApplication::clipboard()->text(), first->Text());
    EXPECT_EQ(capture.Recognition()->Pending(), 0);
    first->close();
}

TEST_F(TextCaptureTest, TheWindowKeepsThePictureAndChoosesTheLanguage) {
    const auto entries = TTextCapture::LanguageEntries(capture.Recognition()->Languages());
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].second, QString());
    EXPECT_EQ(entries[1].second, QStringLiteral("chi_sim"));
    EXPECT_EQ(entries[2].second, QStringLiteral("eng"));
    EXPECT_EQ(TTextCapture::LanguageEntries({QStringLiteral("eng")}).size(), 1);

    capture.Recognise(Pictures(Sentence));
    QPointer<TTextResultWindow> w = capture.LatestWindow();
    ASSERT_TRUE(WaitFor([&] { return Done(w); }, 60000));
    // Another language reads the picture again with it, and stays chosen.
    QComboBox* list = Get<QComboBox>(*w, "LanguageSel");
    const int eng = list->findData(QStringLiteral("eng"));
    ASSERT_GE(eng, 0);
    list->setCurrentIndex(eng);
    emit list->activated(eng);
    EXPECT_EQ(chosen, QStringLiteral("eng"));
    EXPECT_TRUE(w->Busy());
    ASSERT_TRUE(WaitFor([&] { return Done(w); }, 60000));
    EXPECT_LE(CharacterErrorRate(w->Text(), QString::fromUtf8(Sentence)), 0.02);

    Get<QPushButton>(*w, "SavePictureBtn")->click();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].desktopRect, QRect(100, 100, 420, 60));
    EXPECT_EQ(kept[0].captureImage.Width(), 420);
    EXPECT_TRUE(WaitFor([&] { return w.isNull(); }, 5000));
}

} // namespace
