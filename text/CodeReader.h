// QR codes and the common bar codes in a picture, read with zbar.
#pragma once

#include "DIBmp.h"

#include <QString>

#include <vector>

struct TFoundCode {
    QString kind; // "QR-Code", "EAN-13", "CODE-128", ...
    QString text;
};

// The codes of an 8-bit grey picture (dark bars on a light ground), in the order zbar finds them.
std::vector<TFoundCode> ReadCodes(const TDIB& grey);

// Whether a code's text is a web address to offer as a link (http or https and nothing else).
bool IsWebAddress(const QString& text);
