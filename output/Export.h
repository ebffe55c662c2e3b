// Everything that turns the current capture into an image file: the file names, the scaled and
// captioned output image, the encoders chosen by format, and the main window's save commands together
// with the hand-offs that need a work file (edit, print, e-mail) and the clipboard copy.
//
// The main window holds the capture and the settings; it lends them through IExportOwner, so this
// library never sees the window itself. Dialogs, message boxes and the file writer are members of
// TExportServices that tests replace.
#pragma once

#include "DIBmp.h"
#include "Languages.h"

#include <QSize>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <string>

class QIODevice;
class QPrinter;
class QWidget;
class TAgg2D;

// The formats of written files, numbered as the format lists ("PNG", "JPG", "BMP", "WebP", "AVIF")
// and the settings file index them.
enum class TImageFormat : int { Png = 0, Jpeg = 1, Bmp = 2, Webp = 3, Avif = 4 };

// The format at a list or stored index; nothing for an index outside the lists (-1 is a list without
// selection). Every index entering from a list or the settings passes through here or ClampFormat.
std::optional<TImageFormat> ImageFormatFromIndex(int index);
// The format at an index, an index outside the lists counting as the nearest valid one.
TImageFormat ClampFormat(int index);

// The settings the export reads, as the main window's controls show them at the moment of the call.
struct TExportSettings {
    QString title;                               // the file-name edit
    QString comment;                             // the comment edit: the caption of written files
    TImageFormat format = TImageFormat::Jpeg;    // format of saved and mailed files
    TImageFormat editFormat = TImageFormat::Png; // format of the file handed to the editor
    int jpegQuality = 90;                        // 10..100, also WebP's and AVIF's (100: lossless)
    int scaling = 100;                           // percent, 10..100
    bool transparentPng = true;                  // PNG, WebP, AVIF keep a free-form selection's alpha

    bool operator==(const TExportSettings&) const = default;
};

// The name used when the title cleans to nothing, in the interface language ("Vexmor捕获").
QString DefaultCaptureName();
// The work folder's name below the documents folder in a language, Chinese or English ("我的视频捕获").
QString WorkFolderName(TInterfaceLanguage language);
// The save failure message and the desktop failure message, and the caption of their boxes, in the
// interface language.
QString SaveErrorText();
QString NoDesktopText();
QString ErrorCaption();

// ".png", ".jpg", ".bmp", ".webp", ".avif" (a value outside the enumeration counts as the nearest
// format).
QString FormatExtension(TImageFormat format);
// The path with the format's extension appended unless it already carries it (letter case ignored;
// ".jpeg" counts for JPEG): shot.PNG stays, shot.jpeg saved as PNG becomes shot.jpeg.png.
QString AddFormatExtension(const QString& path, TImageFormat format);

// A free path in `folder` for a capture titled `title` in the given format: the cleaned title (or the
// default name) plus the extension, numbered when taken.
QString MakeFileName(QString folder, const QString& title, TImageFormat format);
// The work folder under the interface language's name, with a trailing "/". When that folder does not
// exist but the other language's does, the existing one is used, so the files there stay in use after
// a change of language; otherwise the folder is made unless `create` is false (a failure shows up as
// a failed save).
QString WorkFolder(bool create = true);
// A free path in the work folder.
QString MakeWorkFileName(const QString& title, TImageFormat format);

// The size a capture is written at: each side times percent / 100, rounded half to even on the exact
// product, at least 1. Percent 100 and above keep the size.
QSize ScaledSize(QSize source, int percent);
// The caption's font size for a text on an image `width` pixels wide: the largest of 32, 30, ..., 20
// at which the text is narrower than width - 24, else 18. Leaves that font selected in `agg`.
int ChooseCaptionSize(TAgg2D& agg, const std::string& utf8, int width);
// The image to encode: scaled (super-sampling at 50 % and below, Lanczos above) and captioned with the
// comment. Without scaling and comment it is `source` itself (sharing its pixels, no copy); otherwise a
// new image, so the held capture is never drawn on.
TDIB PrepareOutputImage(const TDIB& source, int scaling, const QString& comment);

// Whether a format is written from the 32-bit capture, whose alpha it can keep (PNG, WebP, AVIF), rather
// than from the flat image (JPEG, BMP).
bool WritesFromCapture(TImageFormat format);

// Encodes the capture in a format into a sink: PNG, WebP and AVIF from `capture`, JPEG and BMP from
// `flat`, each prepared first. False with a reason for a bad format, a missing image or a failed write.
bool EncodeCapture(const TDIB& capture, const TDIB& flat, const TExportSettings& settings,
                   TImageFormat format, QIODevice& out, QString* error = nullptr);

// The file a save would write, encoded into memory ahead of the save: the same bytes EncodeCapture
// writes for these images, settings and format. Made for a worker thread: only the pixels of the
// given images are read (a private copy is taken first), their shared, not thread-safe reference
// counts are never touched, so the caller keeps the images alive and unchanged until this returns.
// Nothing when the encoding fails, or stops early once `cancelled` is set.
std::optional<QByteArray> EncodeCaptureBytes(const TDIB& capture, const TDIB& flat,
                                             const TExportSettings& settings, TImageFormat format,
                                             const std::atomic_bool* cancelled = nullptr,
                                             QString* error = nullptr);

// What the main window lends the export.
class IExportOwner {
  public:
    virtual ~IExportOwner() = default;
    // The held images; empty when no capture is held. Handing them out shares the pixels.
    virtual TDIB HeldCaptureImage() const = 0;
    virtual TDIB HeldFlatImage() const = 0;
    virtual TExportSettings ExportSettings() const = 0;
    // The discard-after-operation rule.
    virtual void AfterOperation() = 0;
    // A command failed while the window may be hidden (an automatic save or edit after the capture):
    // show the window with the capture so the user can try again.
    virtual void ShowCapture() = 0;
    // The parent of dialogs and message boxes (may be null).
    virtual QWidget* DialogParent() const = 0;
};

// An owner made of functions, for a window that lends its images and controls without deriving from
// IExportOwner. A missing function counts as "nothing held" / "nothing to do".
class TFunctionExportOwner : public IExportOwner {
  public:
    std::function<TDIB()> captureImage, flatImage;
    std::function<TExportSettings()> settings;
    std::function<void()> afterOperation, showCapture;
    QWidget* parent = nullptr;

    TDIB HeldCaptureImage() const override { return captureImage ? captureImage() : TDIB(); }
    TDIB HeldFlatImage() const override { return flatImage ? flatImage() : TDIB(); }
    TExportSettings ExportSettings() const override { return settings ? settings() : TExportSettings(); }
    void AfterOperation() override {
        if (afterOperation) afterOperation();
    }
    void ShowCapture() override {
        if (showCapture) showCapture();
    }
    QWidget* DialogParent() const override { return parent; }
};

// What the user chose in the picture save dialog.
struct TSaveDialogResult {
    bool accepted = false;
    QString fileName;
    int filterIndex = 1; // 1 PNG, 2 JPEG, 3 BMP, 4 WebP, 5 AVIF
};

using TWriteFunction = std::function<bool(QIODevice&)>;

// The parts of the commands that meet the user or the disk; tests replace them.
struct TExportServices {
    // A message box with an error icon.
    std::function<void(QWidget* parent, const QString& text, const QString& caption)> showError;
    // Writes a file through `write`: a new file that never replaces anything (`replace` false; the
    // path written may be a numbered variant), or a confirmed replacement of `path` that keeps the old
    // file when the write fails. Returns the path written, empty on failure.
    std::function<QString(const QString& path, bool replace, const TWriteFunction& write, QString* error)>
        writeFile;
    // The picture save dialog, opened on an initial name and filter.
    std::function<TSaveDialogResult(QWidget* parent, const QString& initialName, int filterIndex)> saveDialog;
    // The print dialog; true when the user chose to print with `printer` as set up there.
    std::function<bool(QWidget* parent, QPrinter& printer)> printDialog;

    static TExportServices Defaults();
};

// Writes `path` anew without replacing anything (see CreateNewFile), or replaces it in one step.
QString WriteImageFile(const QString& path, bool replace, const TWriteFunction& write, QString* error);

// The main window's commands on the current capture.
class TExporter {
  public:
    explicit TExporter(IExportOwner& owner, TExportServices services = TExportServices::Defaults());

    TExportServices& Services() { return services_; }

    // Writes the capture in the format to `path` (its extension completed as AddFormatExtension does).
    // Returns the path written: with `replace` false a free variant when the name is taken meanwhile.
    // Empty without a capture (silently) or for a bad format; on a failed write the error box appears,
    // nothing is left under the name and the capture stays held.
    QString SaveCapture(const QString& path, TImageFormat format, bool replace = false);
    // SaveCapture's new file with bytes EncodeCaptureBytes made ahead for the same format: the same
    // name rules and error box, nothing replaced.
    QString SaveEncodedCapture(const QString& path, TImageFormat format, const QByteArray& bytes);
    // A new file in the work folder, or empty.
    QString SaveWorkFile(TImageFormat format);

    // "保存到桌面": a new file on the desktop, added to the recently used files; AfterOperation only
    // when it was written.
    void ToDesktopBtnClick();
    // "保存为": the picture save dialog, then the file; AfterOperation when written.
    void SaveAsBtnClick();
    // The flat capture on the clipboard, unscaled and without caption.
    void CopyToClipboard();
    void ToClipboardBtnClick();
    // A work file in the edit format handed to the image editor.
    void EditBtnClick();
    // A BMP work file, the print dialog, then the picture printed fitted to the page.
    void PrintBtnClick();
    // A work file in the save format attached to a new mail.
    void EmailBtnClick();

  private:
    void ShowSaveError();

    IExportOwner& owner_;
    TExportServices services_;
};
