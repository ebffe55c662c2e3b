// Measures text recognition on pictures rendered here from known text: English in DejaVu Sans and
// DejaVu Sans Mono, Chinese in WenQuanYi Micro Hei, at 11, 14 and 20 px, black on white and light grey
// on a dark ground, each a 1000 x 300 region. Prints the engine's first load, then for every case the
// character error rate and the median time of recognition (the engine loaded once and kept).
//
//   vexmor_measure_text [--runs N] [--languages chi_sim+eng] [--save FOLDER]
#include "TextCompare.h"
#include "TextEngine.h"
#include "TextWorker.h"

#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

const char* const EnglishText =
    "The quick brown fox jumps over the lazy dog. Screen captures often hold text that users want to "
    "copy: an error message, a line of a terminal, a paragraph of a scanned page or a subtitle of a "
    "video. Recognition turns the pixels back into characters, keeping the line breaks and the order "
    "of the paragraphs, so that the result can be pasted into a mail or a bug report.\n"
    "Small interface text of eleven or twelve pixels is common, and dark themes draw light letters on "
    "a dark ground. Both need care before the engine sees the picture: the grey levels are inverted "
    "when the ink is lighter than the ground, and small text is scaled up first.";

const char* const ChineseText =
    "屏幕截图里常常有用户想要复制的文字，比如一条错误信息、终端里的一行命令、扫描页面上的一段话，"
    "或者视频的字幕。文字识别把这些像素重新变成字符，并保留换行和段落的顺序，方便粘贴到邮件或问题报告里。\n"
    "界面上十一到十二像素的小字很常见，深色主题又把浅色的字写在深色的背景上。在识别之前要先处理图片："
    "如果文字比背景亮，就把灰度反转过来；如果文字很小，就先把图片放大。";

struct TCase {
    const char* name;
    const char* family;
    const char* text;
    int px;
    bool dark;
};

// Word-wraps the text into the width (Chinese breaks between any two characters) and draws as many lines
// as fit; returns the text drawn, one line a line.
QString Render(const TCase& c, QImage& image) {
    image = QImage(1000, 300, QImage::Format_RGB32);
    image.fill(c.dark ? QColor(0x1e, 0x1e, 0x1e) : QColor(Qt::white));
    QFont font(QString::fromLatin1(c.family));
    font.setPixelSize(c.px);
    font.setHintingPreference(QFont::PreferFullHinting);
    const QFontMetrics metrics(font);
    const int margin = 12, width = image.width() - 2 * margin, step = int(c.px * 1.5);
    QStringList lines;
    const bool words = QString::fromUtf8(c.text).contains(QLatin1Char(' '));
    for (const QString& paragraph : QString::fromUtf8(c.text).split(QLatin1Char('\n'))) {
        QString line;
        const QStringList parts = words ? paragraph.split(QLatin1Char(' ')) : paragraph.split(QString());
        for (const QString& part : parts) {
            if (part.isEmpty()) continue;
            const QString longer =
                line.isEmpty() ? part : line + (words ? QStringLiteral(" ") : QString()) + part;
            if (metrics.horizontalAdvance(longer) > width && !line.isEmpty()) {
                lines << line;
                line = part;
            } else {
                line = longer;
            }
        }
        lines << line << QString();
    }
    QPainter p(&image);
    p.setFont(font);
    p.setPen(c.dark ? QColor(0xd4, 0xd4, 0xd4) : QColor(Qt::black));
    QStringList drawn;
    int y = margin + metrics.ascent();
    for (const QString& line : lines) {
        if (y + metrics.descent() > image.height() - margin) break;
        if (!line.isEmpty()) p.drawText(margin, y, line);
        drawn << line;
        y += line.isEmpty() ? step / 2 : step;
    }
    while (!drawn.isEmpty() && drawn.back().isEmpty())
        drawn.removeLast();
    return drawn.join(QLatin1Char('\n'));
}

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The processor time of this thread: on a shared machine, what the recognition itself costs.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int runs = 3;
    QString languages = QStringLiteral("chi_sim+eng"), save;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QString a = QString::fromLocal8Bit(argv[i]), v = QString::fromLocal8Bit(argv[i + 1]);
        if (a == QLatin1String("--runs")) runs = std::max(1, v.toInt());
        if (a == QLatin1String("--languages")) languages = v;
        if (a == QLatin1String("--save")) save = v;
    }
    TTextEngine engine;
    const auto loadStart = std::chrono::steady_clock::now();
    if (!engine.Load(TTextEngine::UsableLanguages(languages.split(QLatin1Char('+'))))) {
        std::fprintf(stderr, "no language data for %s in '%s'\n", qPrintable(languages),
                     qPrintable(TTextEngine::DataFolder()));
        return 1;
    }
    std::printf("engine: %s from %s, first load %.0f ms\n",
                qPrintable(engine.Languages().join(QLatin1Char('+'))), qPrintable(TTextEngine::DataFolder()),
                Ms(std::chrono::steady_clock::now() - loadStart));

    std::vector<TCase> cases;
    for (const int px : {11, 14, 20})
        for (const bool dark : {false, true}) {
            cases.push_back({"English", "DejaVu Sans", EnglishText, px, dark});
            cases.push_back({"English mono", "DejaVu Sans Mono", EnglishText, px, dark});
            cases.push_back({"Chinese", "WenQuanYi Micro Hei", ChineseText, px, dark});
        }
    std::printf("%-13s %4s %-14s %8s %8s %8s %6s\n", "text", "px", "colours", "CER %", "ms", "cpu ms",
                "chars");
    for (const TCase& c : cases) {
        QImage image;
        const QString reference = Render(c, image);
        if (!save.isEmpty())
            image.save(QDir(save).filePath(
                QStringLiteral("%1-%2-%3.png")
                    .arg(QString::fromLatin1(c.name).replace(QLatin1Char(' '), QLatin1Char('-')))
                    .arg(c.px)
                    .arg(c.dark ? QStringLiteral("dark") : QStringLiteral("light"))));
        const TDIB picture = TDIB::FromQImage(image, 24);
        std::vector<double> times, cpu;
        TTextResult result;
        for (int r = 0; r < runs; ++r) {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = ThreadCpuMs();
            result = RecognisePicture(engine, picture);
            times.push_back(Ms(std::chrono::steady_clock::now() - start));
            cpu.push_back(ThreadCpuMs() - cpuStart);
        }
        std::sort(times.begin(), times.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("%-13s %4d %-14s %8.2f %8.0f %8.0f %6lld\n", c.name, c.px,
                    c.dark ? "light on dark" : "black on white",
                    100 * CharacterErrorRate(result.text, reference), times[times.size() / 2],
                    cpu[cpu.size() / 2], static_cast<long long>(reference.size()));
        if (qEnvironmentVariableIsSet("VEXMOR_MEASURE_SHOW"))
            std::printf("--- read:\n%s\n--- drawn:\n%s\n", qPrintable(result.text), qPrintable(reference));
    }
    return 0;
}
