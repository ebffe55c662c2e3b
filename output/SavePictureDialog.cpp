#include "SavePictureDialog.h"

#include "PictureDecoders.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>

#include <algorithm>

namespace {
constexpr int kPreviewSide = 200;
// WebP and AVIF files Qt cannot read are decoded whole for the preview, up to this size.
constexpr qint64 kLargestDecodedPreview = 64 * 1024 * 1024;

// The descriptions are translated whole, the patterns shown in them included; the patterns the dialog
// filters with stay outside the translation, so no translation can change which files it lists.
struct TPictureType {
    const char* description;
    const char* patterns;
};
constexpr TPictureType kPictureTypes[] = {
    {QT_TRANSLATE_NOOP("TSavePictureDialog", "PNG图像(*.png)"), "*.png"},
    {QT_TRANSLATE_NOOP("TSavePictureDialog", "JPEG图像(*.jpg;*.jpeg)"), "*.jpg;*.jpeg"},
    {QT_TRANSLATE_NOOP("TSavePictureDialog", "位图(*.bmp)"), "*.bmp"},
    {QT_TRANSLATE_NOOP("TSavePictureDialog", "WebP图像(*.webp)"), "*.webp"},
    {QT_TRANSLATE_NOOP("TSavePictureDialog", "AVIF图像(*.avif)"), "*.avif"},
};
} // namespace

QString PictureFilter() {
    QStringList parts;
    for (const TPictureType& type : kPictureTypes)
        parts << QCoreApplication::translate("TSavePictureDialog", type.description)
              << QString::fromLatin1(type.patterns);
    return parts.join(u'|');
}

QStringList NameFiltersFromWindowsFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const qsizetype paren = description.indexOf(u'(');
        if (paren >= 0) description.truncate(paren);
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        result << description + u'(' + patterns + u')';
    }
    return result;
}

QString DefaultExtForFilter(int filterIndex) {
    switch (std::clamp(filterIndex, 1, 5)) {
    case 1:
        return QStringLiteral("png");
    case 2:
        return QStringLiteral("jpg");
    case 3:
        return QStringLiteral("bmp");
    case 4:
        return QStringLiteral("webp");
    default:
        return QStringLiteral("avif");
    }
}

TSavePictureDialog::TSavePictureDialog(QWidget* parent) : QFileDialog(parent) {
    // Qt's own dialog: the preview pane needs its layout, which a desktop's native dialog does not lend.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    ShowTexts();
    setSizeGripEnabled(true);
    preview_ = new QLabel(this);
    preview_->setObjectName(QStringLiteral("PreviewPane"));
    preview_->setFixedSize(kPreviewSide, kPreviewSide);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setFrameShape(QFrame::StyledPanel);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(preview_, 0, grid->columnCount(), grid->rowCount(), 1);
    connect(this, &QFileDialog::currentChanged, this, &TSavePictureDialog::ShowPreview);
    connect(this, &QFileDialog::filterSelected, this, &TSavePictureDialog::SavePictureDialogTypeChange);
}

void TSavePictureDialog::ShowTexts() {
    setWindowTitle(tr("保存为"));
    setNameFilters(NameFiltersFromWindowsFilter(PictureFilter()));
}

void TSavePictureDialog::changeEvent(QEvent* event) {
    QFileDialog::changeEvent(event);
    if (event->type() != QEvent::LanguageChange) return;
    const int index = FilterIndex();
    ShowTexts();
    SetFilterIndex(index);
    UpdateDefaultExt();
}

int TSavePictureDialog::FilterIndex() const {
    return std::max<int>(int(nameFilters().indexOf(selectedNameFilter())), 0) + 1;
}

void TSavePictureDialog::SetFilterIndex(int index) {
    const QStringList filters = nameFilters();
    selectNameFilter(filters.value(std::clamp(index, 1, int(filters.size())) - 1));
}

void TSavePictureDialog::UpdateDefaultExt() {
    setDefaultSuffix(DefaultExtForFilter(FilterIndex()));
}

void TSavePictureDialog::SavePictureDialogTypeChange(const QString&) {
    UpdateDefaultExt();
}

void TSavePictureDialog::ShowPreview(const QString& path) {
    previewFile_.clear();
    preview_->clear();
    const auto fitted = [](QSize size) {
        return size.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio)
            .boundedTo(size)
            .expandedTo(QSize(1, 1));
    };
    QImage picture;
    QImageReader reader(path);
    if (reader.canRead()) {
        if (reader.size().isValid()) reader.setScaledSize(fitted(reader.size()));
        picture = reader.read();
    } else {
        // The export's WebP and AVIF files, where Qt has no plugin for them.
        picture = ReadWebpOrAvifFile(path, kLargestDecodedPreview);
        if (!picture.isNull())
            picture = picture.scaled(fitted(picture.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (picture.isNull()) return;
    preview_->setPixmap(QPixmap::fromImage(picture));
    previewFile_ = path;
}
