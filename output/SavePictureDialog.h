// The picture save dialog: Qt's own file dialog (the same on every desktop) with a preview of the
// picture under the cursor, the five image types, and a default extension that follows the type.
#pragma once

#include <QFileDialog>
#include <QStringList>

class QLabel;

// The type list as the program states it, Windows style ("description|patterns|..."), its descriptions
// in the interface language: "PNG图像(*.png)|*.png|JPEG图像(*.jpg;*.jpeg)|*.jpg;*.jpeg|位图(*.bmp)|*.bmp|
// WebP图像(*.webp)|*.webp|AVIF图像(*.avif)|*.avif".
QString PictureFilter();

// Qt name filters from a Windows-style filter: each description with the patterns separated by spaces
// ("JPEG图像(*.jpg *.jpeg)").
QStringList NameFiltersFromWindowsFilter(const QString& filter);
// "png", "jpg", "bmp", "webp" or "avif" for filter 1 to 5 (others: the nearest).
QString DefaultExtForFilter(int filterIndex);

class TSavePictureDialog : public QFileDialog {
    Q_OBJECT
  public:
    explicit TSavePictureDialog(QWidget* parent = nullptr);

    // 1-based, as the program counts filters.
    int FilterIndex() const;
    void SetFilterIndex(int index);
    // The default extension of the selected type, so a name typed without extension receives it.
    void UpdateDefaultExt();
    // The picture shown in the preview pane (empty when none).
    QString PreviewFile() const { return previewFile_; }

  protected:
    // A change of language renames the types and the title, keeping the chosen type.
    void changeEvent(QEvent* event) override;

  private:
    void ShowTexts();
    void SavePictureDialogTypeChange(const QString& filter);
    void ShowPreview(const QString& path);

    QLabel* preview_ = nullptr;
    QString previewFile_;
};
