// Hand-offs of the capture to other software: the clipboard, the printer and the mail program.
#pragma once

#include <QString>

class QPrinter;
class TDIB;

// Puts a copy of the image on the clipboard as image/png, image/bmp and the other image types Qt writes.
// The raw copy is held only until a worker has spooled it as PNG to an unnamed file (see
// TClipboardPicture). Nothing for an empty image.
void CopyImageToClipboard(const TDIB& image);

// The image file printed on one page, as large as fits the printable area with its proportions kept,
// centred. False when the file cannot be read or the printer cannot start.
bool PrintImageFile(const QString& path, QPrinter& printer);

// A new mail with the subject and one attachment in the user's mail program: -1 when no mail helper
// exists, otherwise the helper's status (0 success).
int SendMail(const QString& subject, const QString& attachment);
