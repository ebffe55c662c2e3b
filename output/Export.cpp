#include "Export.h"

#include "Agg_2D_DIB.h"
#include "AllTools.h"
#include "HandOffs.h"
#include "ImageEncoders.h"
#include "Platform.h"
#include "SavePictureDialog.h"
#include "WinTools.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>
#include <new>

namespace {

// The caption under a written picture: the comment in white letters over a dark halo, left-aligned on a
// baseline near the bottom edge.
constexpr int kCaptionLargestSize = 32;    // the first font size tried
constexpr int kCaptionSizeStep = 2;        // each next size tried is this much smaller
constexpr int kCaptionSmallestSize = 18;   // taken however wide the text is
constexpr int kCaptionMargin = 12;         // pixels left of the text, kept free right of it too
constexpr int kCaptionBaselineAbove = 20;  // pixels from the bottom edge up to the baseline
constexpr int kCaptionHaloWidth = 4;       // line width of the halo's outline
constexpr uint8_t kCaptionHaloAlpha = 230; // the halo's opacity

// The busy cursor goes back on every path out of a save, also when an encoder throws.
struct TWaitCursor {
    TWaitCursor() { BeginWait(); }
    ~TWaitCursor() { EndWait(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// n / 100 rounded half to even, computed on integers so that an exact half is seen as one.
int DivideBy100HalfEven(qint64 n) {
    qint64 q = n / 100;
    const qint64 r = n % 100;
    if (r > 50 || (r == 50 && (q & 1))) ++q;
    return int(q);
}

} // namespace

std::optional<TImageFormat> ImageFormatFromIndex(int index) {
    if (index < int(TImageFormat::Png) || index > int(TImageFormat::Avif)) return std::nullopt;
    return TImageFormat(index);
}

TImageFormat ClampFormat(int index) {
    if (const std::optional<TImageFormat> format = ImageFormatFromIndex(index)) return *format;
    return index < 0 ? TImageFormat::Png : TImageFormat::Avif;
}

QString FormatExtension(TImageFormat format) {
    switch (ClampFormat(int(format))) {
    case TImageFormat::Png:
        return QStringLiteral(".png");
    case TImageFormat::Jpeg:
        return QStringLiteral(".jpg");
    case TImageFormat::Bmp:
        return QStringLiteral(".bmp");
    case TImageFormat::Webp:
        return QStringLiteral(".webp");
    default:
        return QStringLiteral(".avif");
    }
}

QString AddFormatExtension(const QString& path, TImageFormat format) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString ext = dot < 0 ? QString() : name.mid(dot).toUpper();
    bool carries = false;
    switch (format) {
    case TImageFormat::Png:
        carries = ext == QLatin1String(".PNG");
        break;
    case TImageFormat::Jpeg:
        carries = ext == QLatin1String(".JPG") || ext == QLatin1String(".JPEG");
        break;
    case TImageFormat::Bmp:
        carries = ext == QLatin1String(".BMP");
        break;
    case TImageFormat::Webp:
        carries = ext == QLatin1String(".WEBP");
        break;
    case TImageFormat::Avif:
        carries = ext == QLatin1String(".AVIF");
        break;
    default:
        return path;
    }
    return carries ? path : path + FormatExtension(format);
}

QString DefaultCaptureName() {
    return QCoreApplication::translate("Export", "Vexmor捕获");
}

QString WorkFolderName(TInterfaceLanguage language) {
    // Named in both languages: the other language's folder is looked for as well (WorkFolder).
    return TextIn(language, "Export", QT_TRANSLATE_NOOP("Export", "我的视频捕获"));
}

QString SaveErrorText() {
    return QCoreApplication::translate("Export", "无法保存捕获图像。");
}

QString NoDesktopText() {
    return QCoreApplication::translate("Export", "无法找到桌面文件夹。");
}

QString ErrorCaption() {
    return QCoreApplication::translate("Export", "错误");
}

QString MakeFileName(QString folder, const QString& title, TImageFormat format) {
    QString name = CleanFileName(title);
    if (name.isEmpty()) name = DefaultCaptureName();
    name += FormatExtension(format);
    IncludeTrailingBackslash(folder);
    return UniqueFileName(folder + name);
}

QString WorkFolder(bool create) {
    const QString documents = SpecialFolder(TSpecialFolder::Documents);
    const TInterfaceLanguage language = CurrentInterfaceLanguage();
    QString folder = documents + WorkFolderName(language);
    if (!QFileInfo(folder).isDir()) {
        const TInterfaceLanguage other = language == TInterfaceLanguage::English
                                             ? TInterfaceLanguage::Chinese
                                             : TInterfaceLanguage::English;
        const QString kept = documents + WorkFolderName(other);
        if (QFileInfo(kept).isDir()) folder = kept;
    }
    if (create && !QFileInfo(folder).isDir())
        QDir().mkdir(folder); // one level; a failure shows as a failed save
    IncludeTrailingBackslash(folder);
    return folder;
}

QString MakeWorkFileName(const QString& title, TImageFormat format) {
    return MakeFileName(WorkFolder(), title, format);
}

QSize ScaledSize(QSize source, int percent) {
    if (percent >= 100) return source;
    percent = std::max(percent, 1);
    return QSize(std::max(DivideBy100HalfEven(qint64(source.width()) * percent), 1),
                 std::max(DivideBy100HalfEven(qint64(source.height()) * percent), 1));
}

int ChooseCaptionSize(TAgg2D& agg, const std::string& utf8, int width) {
    int size = kCaptionLargestSize + kCaptionSizeStep;
    for (;;) {
        size -= kCaptionSizeStep;
        agg.SetFont("Trebuchet MS", false, size, true, 0);
        if (size <= kCaptionSmallestSize) break;
        if (agg.TextWidth(utf8) < width - 2 * kCaptionMargin) break;
    }
    return size;
}

TDIB PrepareOutputImage(const TDIB& source, int scaling, const QString& comment) {
    TDIB result = source; // shares: no copy unless something is drawn
    if (scaling < 100 && !source.Empty()) {
        const QSize size = ScaledSize(QSize(source.Width(), source.Height()), scaling);
        TDIB scaled(size.width(), size.height(), source.BitCount());
        TDIB reader = source; // Resize is not const; it only reads its own pixels
        reader.Resize(scaled, QRect(0, 0, source.Width(), source.Height()), QRect(QPoint(0, 0), size),
                      scaling > 50 ? TInterpolation::Lanczos : TInterpolation::SuperSampling);
        result = scaled;
    }
    if (comment.isEmpty() || result.Empty()) return result;
    if (result.SharesWith(source)) {
        TDIB copy;
        copy.CreateCopy(source, true);
        result = copy;
    }
    const std::string text = comment.toStdString();
    TAgg2D agg;
    if (!agg.Attach(result)) return result;
    agg.SetTextHints(true);
    agg.SetTextAlignment(AggAlignH::Left, AggAlignV::Baseline);
    agg.SetNoFill();
    agg.SetLineColor(0, 0, 0, kCaptionHaloAlpha);
    agg.SetLineWidth(kCaptionHaloWidth);
    ChooseCaptionSize(agg, text, result.Width());
    const double y = result.Height() - kCaptionBaselineAbove;
    agg.DrawText(text, false, kCaptionMargin, y); // the dark halo
    agg.SetFillColor(255, 255, 255, 255);
    agg.SetLineWidth(0);
    agg.DrawText(text, false, kCaptionMargin, y); // the white letters on top
    return result;
}

bool WritesFromCapture(TImageFormat format) {
    return format == TImageFormat::Png || format == TImageFormat::Webp || format == TImageFormat::Avif;
}

bool EncodeCapture(const TDIB& capture, const TDIB& flat, const TExportSettings& settings,
                   TImageFormat format, QIODevice& out, QString* error) {
    const TDIB& source = WritesFromCapture(format) ? capture : flat;
    if (!ImageFormatFromIndex(int(format)) || source.Empty()) {
        if (error) *error = QStringLiteral("nothing to write");
        return false;
    }
    try {
        const TDIB image = PrepareOutputImage(source, settings.scaling, settings.comment);
        switch (format) {
        case TImageFormat::Png:
            return WritePng(image, settings.transparentPng, out, error, 9);
        case TImageFormat::Jpeg:
            return WriteJpeg(image, settings.jpegQuality, out, error);
        case TImageFormat::Webp:
            return WriteWebp(image, settings.transparentPng, settings.jpegQuality, out, error);
        case TImageFormat::Avif:
            return WriteAvif(image, settings.transparentPng, settings.jpegQuality, out, error);
        default:
            return WriteBmp(image, out, error);
        }
    } catch (const std::bad_alloc&) {
        if (error) *error = QStringLiteral("out of memory");
    } catch (const std::exception& e) {
        if (error) *error = QString::fromUtf8(e.what());
    }
    return false;
}

namespace {

// Collects the encoder's bytes; once the owner gives up, every further write fails, which ends the
// encoder at its next block.
class TCancellableBuffer : public QBuffer {
  public:
    explicit TCancellableBuffer(const std::atomic_bool* cancelled) : cancelled_(cancelled) {}

  protected:
    qint64 writeData(const char* data, qint64 len) override {
        if (cancelled_ && cancelled_->load(std::memory_order_relaxed)) return -1;
        return QBuffer::writeData(data, len);
    }

  private:
    const std::atomic_bool* cancelled_;
};

} // namespace

std::optional<QByteArray> EncodeCaptureBytes(const TDIB& capture, const TDIB& flat,
                                             const TExportSettings& settings, TImageFormat format,
                                             const std::atomic_bool* cancelled, QString* error) {
    const auto stopped = [cancelled] { return cancelled && cancelled->load(std::memory_order_relaxed); };
    const TDIB& source = WritesFromCapture(format) ? capture : flat;
    if (!ImageFormatFromIndex(int(format)) || source.Empty()) {
        if (error) *error = QStringLiteral("nothing to write");
        return std::nullopt;
    }
    // A private copy: the encoder shares and releases its input, which the caller's reference count
    // must not see from this thread.
    TDIB own, none;
    try {
        own.CreateCopy(source, true);
    } catch (const std::bad_alloc&) {
        if (error) *error = QStringLiteral("out of memory");
        return std::nullopt;
    }
    if (stopped()) return std::nullopt;
    TCancellableBuffer buffer(cancelled);
    buffer.open(QIODevice::WriteOnly);
    const bool ok = WritesFromCapture(format) ? EncodeCapture(own, none, settings, format, buffer, error)
                                              : EncodeCapture(none, own, settings, format, buffer, error);
    if (!ok || stopped()) return std::nullopt;
    return buffer.buffer();
}

QString WriteImageFile(const QString& path, bool replace, const TWriteFunction& write, QString* error) {
    // A replacement the user confirmed is renamed over the old file only when everything was
    // written, so a failure keeps the old file.
    return replace ? ReplaceFile(path, write, error) : CreateNewFile(path, write, error);
}

TExportServices TExportServices::Defaults() {
    TExportServices s;
    s.showError = [](QWidget* parent, const QString& text, const QString& caption) {
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
        box.exec();
    };
    s.writeFile = WriteImageFile;
    s.saveDialog = [](QWidget* parent, const QString& initialName, int filterIndex) {
        // The dialog opens where the last picture went during this run, at first on the desktop.
        static QString lastFolder;
        if (lastFolder.isEmpty()) lastFolder = SpecialFolder(TSpecialFolder::Desktop);
        TSavePictureDialog dialog(parent);
        dialog.setDirectory(lastFolder);
        dialog.SetFilterIndex(filterIndex);
        dialog.UpdateDefaultExt();
        dialog.selectFile(initialName);
        TSaveDialogResult result;
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return result;
        result.accepted = true;
        result.fileName = dialog.selectedFiles().constFirst();
        result.filterIndex = dialog.FilterIndex();
        lastFolder = QFileInfo(result.fileName).absolutePath();
        return result;
    };
    s.printDialog = [](QWidget* parent, QPrinter& printer) {
        QPrintDialog dialog(&printer, parent);
        return dialog.exec() == QDialog::Accepted;
    };
    return s;
}

TExporter::TExporter(IExportOwner& owner, TExportServices services)
    : owner_(owner), services_(std::move(services)) {}

void TExporter::ShowSaveError() {
    if (services_.showError) services_.showError(owner_.DialogParent(), SaveErrorText(), ErrorCaption());
}

QString TExporter::SaveCapture(const QString& path, TImageFormat format, bool replace) {
    const TDIB capture = owner_.HeldCaptureImage();
    if (capture.Empty() || !ImageFormatFromIndex(int(format))) return {};
    const TDIB flat = owner_.HeldFlatImage();
    const TExportSettings settings = owner_.ExportSettings();
    const QString target = AddFormatExtension(path, format);
    QString written, error;
    {
        TWaitCursor wait;
        // Only the very name the user confirmed may be replaced; an extension added here makes another
        // name, which is never overwritten unasked.
        written = services_.writeFile(
            target, replace && target == path,
            [&](QIODevice& out) { return EncodeCapture(capture, flat, settings, format, out, &error); },
            &error);
    }
    if (written.isEmpty()) ShowSaveError();
    return written;
}

QString TExporter::SaveEncodedCapture(const QString& path, TImageFormat format, const QByteArray& bytes) {
    if (!ImageFormatFromIndex(int(format))) return {};
    QString error;
    const QString written = services_.writeFile(
        AddFormatExtension(path, format), false,
        [&](QIODevice& out) { return out.write(bytes) == bytes.size(); }, &error);
    if (written.isEmpty()) ShowSaveError();
    return written;
}

QString TExporter::SaveWorkFile(TImageFormat format) {
    if (owner_.HeldCaptureImage().Empty()) return {};
    return SaveCapture(MakeWorkFileName(owner_.ExportSettings().title, format), format);
}

void TExporter::ToDesktopBtnClick() {
    const QString folder = SpecialFolder(TSpecialFolder::Desktop);
    if (folder.isEmpty()) {
        if (services_.showError) services_.showError(owner_.DialogParent(), NoDesktopText(), ErrorCaption());
        return;
    }
    if (owner_.HeldCaptureImage().Empty()) return;
    const TExportSettings settings = owner_.ExportSettings();
    const QString written =
        SaveCapture(MakeFileName(folder, settings.title, settings.format), settings.format);
    if (written.isEmpty()) {
        owner_.ShowCapture(); // the capture stays for another try
        return;
    }
    Platform().shell->AddRecentDocument(written);
    owner_.AfterOperation();
}

void TExporter::SaveAsBtnClick() {
    if (owner_.HeldCaptureImage().Empty() || !services_.saveDialog) return;
    const TExportSettings settings = owner_.ExportSettings();
    const TSaveDialogResult choice =
        services_.saveDialog(owner_.DialogParent(), CleanFileName(settings.title), int(settings.format) + 1);
    if (!choice.accepted || choice.fileName.isEmpty()) return;
    const QString written = SaveCapture(choice.fileName, ClampFormat(choice.filterIndex - 1), true);
    if (written.isEmpty()) return;
    Platform().shell->AddRecentDocument(written);
    owner_.AfterOperation();
}

void TExporter::CopyToClipboard() {
    if (owner_.HeldCaptureImage().Empty()) return;
    CopyImageToClipboard(owner_.HeldFlatImage());
}

void TExporter::ToClipboardBtnClick() {
    CopyToClipboard();
    owner_.AfterOperation();
}

void TExporter::EditBtnClick() {
    if (owner_.HeldCaptureImage().Empty()) return;
    const QString path = SaveWorkFile(owner_.ExportSettings().editFormat);
    if (path.isEmpty()) {
        owner_.ShowCapture();
        return;
    }
    Platform().shell->EditFile(path); // an editor that fails is silent
    owner_.AfterOperation();
}

void TExporter::PrintBtnClick() {
    if (owner_.HeldCaptureImage().Empty()) return;
    const QString path = SaveWorkFile(TImageFormat::Bmp);
    if (path.isEmpty() || !services_.printDialog) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QFileInfo(path).fileName());
    if (!services_.printDialog(owner_.DialogParent(), printer)) return; // cancelled: the capture stays
    if (PrintImageFile(path, printer)) owner_.AfterOperation();
}

void TExporter::EmailBtnClick() {
    if (owner_.HeldCaptureImage().Empty()) return;
    const TExportSettings settings = owner_.ExportSettings();
    const QString path = SaveWorkFile(settings.format);
    if (path.isEmpty()) return;
    // The file stays in the work folder: the mail helper returns before the mail program has read it.
    if (SendMail(settings.title, path) == 0) owner_.AfterOperation();
}
