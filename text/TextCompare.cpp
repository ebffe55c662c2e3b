#include "TextCompare.h"

#include "TextEngine.h"

#include <algorithm>
#include <vector>

namespace {
QList<uint> Comparable(const QString& text) {
    // TidyRecognisedText drops the spaces between Chinese characters; the rest collapse to one.
    QString t = TidyRecognisedText(text);
    t.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return t.simplified().toUcs4();
}
} // namespace

double CharacterErrorRate(const QString& recognised, const QString& reference) {
    const QList<uint> a = Comparable(recognised), b = Comparable(reference);
    if (b.isEmpty()) return a.isEmpty() ? 0 : 1;
    std::vector<int> row(size_t(b.size()) + 1), next(row.size());
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 0; i < a.size(); ++i) {
        next[0] = int(i) + 1;
        for (qsizetype j = 0; j < b.size(); ++j)
            next[size_t(j) + 1] =
                std::min({row[size_t(j) + 1] + 1, next[size_t(j)] + 1, row[size_t(j)] + (a[i] != b[j])});
        std::swap(row, next);
    }
    return double(row.back()) / double(b.size());
}
