// Text recognition with Tesseract. The engine loads the language data once (the first load takes a
// while) and is kept; one engine is used by one thread at a time.
#pragma once

#include "DIBmp.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

namespace tesseract {
class TessBaseAPI;
}

class TTextEngine {
  public:
    TTextEngine();
    ~TTextEngine();
    TTextEngine(const TTextEngine&) = delete;
    TTextEngine& operator=(const TTextEngine&) = delete;

    // The folder of the installed language data: $TESSDATA_PREFIX when it holds any, else the first of
    // the distribution's folders that does. Empty when none is found.
    static QString DataFolder();
    // The languages whose data is installed there ("eng", "chi_sim", ...), sorted; the script and
    // orientation data is not a language.
    static QStringList InstalledLanguages();
    // The languages of `wanted` that are installed, in the order the engine should try them (Simplified
    // Chinese first); all installed ones when `wanted` is empty.
    static QStringList UsableLanguages(const QStringList& wanted);

    // Loads the data of the languages (nothing to do when already loaded). False, with the engine
    // empty, when it cannot be loaded.
    bool Load(const QStringList& languages);
    bool Loaded() const { return api_ != nullptr; }
    QStringList Languages() const { return languages_; }

    // The text of an 8-bit picture with dark ink on a light ground (TTextPicture::grey), in reading
    // order with its line breaks, paragraphs apart by an empty line. Returns early (with what was read
    // by then) when `cancel` becomes true.
    QString Recognise(const TDIB& grey, const std::atomic<bool>* cancel = nullptr);

  private:
    std::unique_ptr<tesseract::TessBaseAPI> api_;
    QStringList languages_;
};

// The engine's text made plain: no space between two Chinese characters (or a Chinese character and
// its punctuation), no spaces at line ends, at most one empty line in a row, none at the start or end.
QString TidyRecognisedText(const QString& text);
