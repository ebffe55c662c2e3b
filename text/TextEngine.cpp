#include "TextEngine.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <iterator>
#include <memory>
#include <utility>

namespace {

QStringList LanguagesIn(const QString& folder) {
    QStringList languages;
    for (const QFileInfo& f : QDir(folder).entryInfoList({QStringLiteral("*.traineddata")}, QDir::Files)) {
        const QString name = f.completeBaseName();
        if (name != QLatin1String("osd") && name != QLatin1String("equ")) languages << name;
    }
    languages.sort();
    return languages;
}

bool CancelRequested(void* data, int) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(data);
    return cancel && cancel->load();
}

// Ideographs, kana, hangul and the full-width and CJK punctuation forms.
bool IsWideScript(uint c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF65) || (c >= 0x20000 && c <= 0x2FFFF);
}

} // namespace

TTextEngine::TTextEngine() = default;
TTextEngine::~TTextEngine() {
    if (api_) api_->End();
}

QString TTextEngine::DataFolder() {
    QStringList candidates;
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!prefix.isEmpty()) candidates << prefix << prefix + QStringLiteral("/tessdata");
    candidates << QStringLiteral("/usr/share/tesseract-ocr/5/tessdata")
               << QStringLiteral("/usr/share/tesseract-ocr/4.00/tessdata")
               << QStringLiteral("/usr/share/tessdata");
    for (const QString& folder : candidates)
        if (!LanguagesIn(folder).isEmpty()) return QDir(folder).absolutePath();
    return {};
}

QStringList TTextEngine::InstalledLanguages() {
    const QString folder = DataFolder();
    return folder.isEmpty() ? QStringList() : LanguagesIn(folder);
}

QStringList TTextEngine::UsableLanguages(const QStringList& wanted) {
    const QStringList installed = InstalledLanguages();
    QStringList usable;
    for (const QString& l : installed)
        if (wanted.isEmpty() || wanted.contains(l)) usable << l;
    // Simplified Chinese leads: read with English data first, a Chinese line comes out as confident
    // Latin gibberish, while an English word the Chinese data reads badly is tried again in English
    // (which keeps its spaces).
    if (usable.removeAll(QStringLiteral("chi_sim"))) usable.prepend(QStringLiteral("chi_sim"));
    return usable;
}

bool TTextEngine::Load(const QStringList& languages) {
    if (api_ && languages == languages_) return true;
    if (api_) api_->End();
    api_.reset();
    languages_.clear();
    const QString folder = DataFolder();
    if (languages.isEmpty() || folder.isEmpty()) return false;
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    const QByteArray path = QFile::encodeName(folder), names = languages.join(QLatin1Char('+')).toUtf8();
    if (api->Init(path.constData(), names.constData(), tesseract::OEM_LSTM_ONLY) != 0) return false;
    api->SetPageSegMode(tesseract::PSM_AUTO);
    // Spaces between Chinese characters are taken out afterwards; these keep the engine from adding
    // the ones it guesses from the gaps of a wide font.
    api->SetVariable("preserve_interword_spaces", "0");
    api->SetVariable("debug_file", "/dev/null");
    // The picture comes inverted already where its ink is light; the engine's own trial of every line
    // inverted would only double the work.
    api->SetVariable("tessedit_do_invert", "0");
    api_ = std::move(api);
    languages_ = languages;
    return true;
}

QString TTextEngine::Recognise(const TDIB& grey, const std::atomic<bool>* cancel) {
    if (!api_ || grey.Empty() || grey.BitCount() != 8) return {};
    api_->SetImage(grey.Bits(), grey.Width(), grey.Height(), 1, grey.BytesPerRow());
    // Screen pictures have no resolution of their own; this is the one the engine expects of a page.
    api_->SetSourceResolution(300);
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &CancelRequested;
    monitor.cancel_this = const_cast<std::atomic<bool>*>(cancel);
    QString text;
    if (api_->Recognize(&monitor) == 0) {
        const std::unique_ptr<char[]> utf8(api_->GetUTF8Text());
        if (utf8) text = QString::fromUtf8(utf8.get());
    }
    api_->Clear();
    return TidyRecognisedText(text);
}

// Latin punctuation the engine reads between two Chinese characters is the full-width mark, without
// the spaces it puts around it.
void WidenPunctuation(QList<uint>& text) {
    static constexpr std::pair<uint, uint> Marks[] = {
        {',', 0xFF0C}, {':', 0xFF1A}, {';', 0xFF1B}, {'!', 0xFF01}, {'?', 0xFF1F}};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto mark = std::find_if(std::begin(Marks), std::end(Marks),
                                       [&](const auto& m) { return m.first == text[i]; });
        if (mark == std::end(Marks)) continue;
        qsizetype before = i - 1, after = i + 1;
        while (before >= 0 && text[before] == ' ')
            --before;
        while (after < text.size() && text[after] == ' ')
            ++after;
        if (before < 0 || after >= text.size() || !IsWideScript(text[before]) || !IsWideScript(text[after]))
            continue;
        text[i] = mark->second;
        text.remove(i + 1, after - i - 1);
        text.remove(before + 1, i - before - 1);
        i = before + 1;
    }
}

QString TidyRecognisedText(const QString& text) {
    QList<uint> in = text.toUcs4();
    WidenPunctuation(in);
    QList<uint> out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const uint c = in[i];
        if (c == ' ' || c == '\t') {
            qsizetype next = i;
            while (next < in.size() && (in[next] == ' ' || in[next] == '\t'))
                ++next;
            const bool lineEnd = next >= in.size() || in[next] == '\n';
            const bool between =
                !out.isEmpty() && next < in.size() && IsWideScript(out.back()) && IsWideScript(in[next]);
            if (!lineEnd && !between && !out.isEmpty() && out.back() != '\n') out << ' ';
            i = next - 1;
            continue;
        }
        if (c == '\f' || c == '\r') continue;
        out << c;
    }
    QString tidy = QString::fromUcs4(reinterpret_cast<const char32_t*>(out.constData()), out.size());
    while (tidy.contains(QStringLiteral("\n\n\n")))
        tidy.replace(QStringLiteral("\n\n\n"), QStringLiteral("\n\n"));
    return tidy.trimmed();
}
