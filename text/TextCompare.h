// How far a recognised text is from the text it should be: the character error rate, the edit
// distance (insertions, deletions, substitutions of code points) over the reference's length. Runs of
// white space count as one space; between two Chinese characters they do not count at all.
#pragma once

#include <QString>

double CharacterErrorRate(const QString& recognised, const QString& reference);
