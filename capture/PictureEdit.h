// A picture that is already a file, or on the clipboard, opened in the capture overlay in place of
// the frozen desktop: the selection, ink and every annotation tool work on it as on a capture, and
// confirming hands the result to the owner as a capture. The original file is only read.
#pragma once

#include "CaptureOwner.h"
#include "DIBmp.h"

#include <QString>

class QImage;

struct TPictureLoad {
    TDIB picture;    // 24-bit; empty when the picture could not be opened
    QString failure; // why, in the interface language
};

// Reads a picture file by its content (the name's extension does not matter), turned by its stored
// orientation; transparent parts over white.
TPictureLoad LoadPictureFile(const QString& path);
// The same for a picture the clipboard holds (a null image: the clipboard holds none).
TPictureLoad LoadPictureImage(const QImage& image);

// "无法打开图片“%1”：%2" in the interface language, for the picture's name and the reason.
QString PictureFailureText(const QString& name, const QString& reason);

// Opens the overlay over the picture for the owner, unless an overlay is already open: the picture
// sits centred on the monitor under the pointer (at its top-left corner when larger: the zoomed view
// pans over the rest), the desktop around it dark. `title` names the capture. False, with the reason,
// when a picture and the desktop together are more than the image library holds.
bool StartEditing(const TDIB& picture, const QString& title, ICaptureOwner* owner,
                  QString* failure = nullptr);
