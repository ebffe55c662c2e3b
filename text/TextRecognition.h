// The text capture's recognition as the program sees it: an interface, free of the engine's own
// headers and libraries. The program loads the implementation from the text module (vexmor-text.so)
// with the first text capture, so that a program waiting in the tray maps neither Tesseract nor zbar.
#pragma once

#include "DIBmp.h"

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <vector>

struct TFoundCode {
    QString kind; // "QR-Code", "EAN-13", "CODE-128", ...
    QString text;
};

// Whether a code's text is a web address to offer as a link (http or https and nothing else).
inline bool IsWebAddress(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

struct TTextResult {
    QString text;                  // the recognised text (tidied)
    std::vector<TFoundCode> codes; // QR and bar codes
    bool cancelled = false;
    bool engineMissing = false; // no language data could be loaded
    bool failed = false;        // out of memory for the pictures
    double loadMs = 0;          // the engine's load, when this request loaded it
    double recogniseMs = 0;     // preparing, recognising and reading codes
    // What goes to the clipboard: the text, else the codes' texts one a line; empty when nothing
    // was found.
    QString ClipboardText() const {
        if (!text.isEmpty()) return text;
        QStringList lines;
        for (const TFoundCode& c : codes)
            lines << c.text;
        return lines.join(QLatin1Char('\n'));
    }
};
Q_DECLARE_METATYPE(TTextResult)

// Recognition off the caller's thread: requests are queued and read one at a time.
class ITextRecognition {
  public:
    virtual ~ITextRecognition() = default;
    // Called with every request's result, on the recognition's own thread (or the caller's, for a
    // request cancelled while it waits).
    virtual void SetFinished(std::function<void(int request, const TTextResult& result)> finished) = 0;
    // The languages for the next request ("+"-less names; all installed ones when empty).
    virtual void SetLanguages(const QStringList& languages) = 0;
    virtual int Recognise(const TDIB& picture) = 0;
    virtual void Cancel(int request) = 0;
    virtual int Pending() const = 0;
    // The languages installed, in the order the engine tries them.
    virtual QStringList Languages() const = 0;
};

// The text module's entry point: extern "C" ITextRecognition* VexmorCreateTextRecognition().
inline constexpr const char* TextRecognitionEntry = "VexmorCreateTextRecognition";
