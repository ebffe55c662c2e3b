// QR codes and the common bar codes in a picture, read with zbar.
#pragma once

#include "DIBmp.h"
#include "TextRecognition.h"

#include <QString>

#include <vector>

// The codes of an 8-bit grey picture (dark bars on a light ground), in the order zbar finds them.
std::vector<TFoundCode> ReadCodes(const TDIB& grey);
