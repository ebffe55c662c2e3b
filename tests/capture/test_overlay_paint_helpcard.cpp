// The help card drawn at start: size, the opacity ceiling, premultiplied pixels, and the pictograms and
// words where the layout puts them. VEXMOR_HELP_CARD_PNG=<file> writes the card out for a look.
#include "DIBmp.h"
#include "HelpCard.h"
#include "InterfaceLanguage.h"

#include <QCoreApplication>
#include <QImage>
#include <QTranslator>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct Px {
    int b, g, r, a;
};

Px At(TDIB& dib, int x, int y) {
    const uint8_t* p = dib.PixelPtr(x, y);
    return {p[0], p[1], p[2], p[3]};
}

bool Lit(const Px& p) {
    return p.r > 200 && p.g > 120 && p.g < 200 && p.b < 100;
} // the lit button
bool Body(const Px& p) {
    return p.r < 90 && p.b > 70 && p.b < 110;
} // an unlit button

int CountIn(TDIB& dib, int x0, int y0, int x1, int y1, bool (*test)(const Px&)) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += test(At(dib, x, y)) ? 1 : 0;
    return n;
}

bool Bright(const Px& p) {
    return p.r > 200 && p.g > 200 && p.b > 200;
}
bool Ink(const Px& p) {
    return p.r > 200 && p.g < 110 && p.b < 110;
}
bool Area(const Px& p) {
    return p.b > 200 && p.r < 140;
}

class HelpCardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(MakeHelpCard(card));
        if (const char* out = std::getenv("VEXMOR_HELP_CARD_PNG"))
            QImage(card.Bits(), card.Width(), card.Height(), card.BytesPerRow(),
                   QImage::Format_ARGB32_Premultiplied)
                .save(QString::fromLocal8Bit(out));
    }
    TDIB card;
};

TEST_F(HelpCardTest, IsAPremultipliedCardThatNeverHidesTheDesktopCompletely) {
    ASSERT_EQ(card.Width(), 183);
    ASSERT_EQ(card.Height(), 224);
    ASSERT_EQ(card.BitCount(), 32);
    int maxAlpha = 0;
    for (int y = 0; y < card.Height(); ++y)
        for (int x = 0; x < card.Width(); ++x) {
            const Px p = At(card, x, y);
            maxAlpha = std::max(maxAlpha, p.a);
            ASSERT_LE(std::max({p.r, p.g, p.b}), p.a) << "at " << x << "," << y;
        }
    EXPECT_EQ(maxAlpha, HelpCardMaxAlpha);
    EXPECT_EQ(At(card, 10, 100).a, HelpCardMaxAlpha) << "the panel itself";
    for (auto [x, y] : {std::pair{0, 0}, {182, 0}, {0, 223}, {182, 223}})
        EXPECT_EQ(At(card, x, y).a, 0) << "rounded corner at " << x << "," << y;
}

// Each row: the mouse with its lit button, and the sample of what that button draws.
TEST_F(HelpCardTest, ShowsEachButtonWithWhatItDraws) {
    // Right button: the ink stroke.
    EXPECT_GT(CountIn(card, 75, 20, 86, 33, Lit), 60);
    EXPECT_GT(CountIn(card, 61, 20, 72, 33, Body), 60);
    EXPECT_GT(CountIn(card, 102, 14, 173, 66, Ink), 150);
    EXPECT_EQ(CountIn(card, 102, 14, 173, 66, Area), 0);
    // Left button: the free-form area, hatched inside its outline only.
    EXPECT_GT(CountIn(card, 61, 76, 72, 89, Lit), 60);
    EXPECT_GT(CountIn(card, 75, 76, 86, 89, Body), 60);
    EXPECT_GT(CountIn(card, 120, 88, 154, 104, Area), 60);
    EXPECT_EQ(CountIn(card, 96, 70, 106, 78, Area), 0) << "hatching leaks out of the blob's corner";
    EXPECT_EQ(CountIn(card, 102, 70, 173, 122, Ink), 0);
    // Ctrl + left button: the rectangle.
    EXPECT_GT(CountIn(card, 61, 132, 72, 145, Lit), 60);
    EXPECT_GT(CountIn(card, 108, 140, 168, 164, Area), 150);
    EXPECT_GT(CountIn(card, 8, 140, 54, 160, Bright), 20) << "CTRL +";
}

TEST_F(HelpCardTest, CarriesTheTitleAtTheBottom) {
    const int title = CountIn(card, 10, 196, 173, 216, Bright);
    EXPECT_GT(title, 150);
    EXPECT_EQ(CountIn(card, 0, 180, 183, 190, Bright), 0) << "nothing bright above the title";
}

// A catalogue that gives the card's title another wording, as a translation may.
class TRetitling : public QTranslator {
  public:
    QString translate(const char* context, const char* source, const char*, int) const override {
        if (qstrcmp(context, "HelpCard") == 0 && qstrcmp(source, "SCREEN CAPTURE") == 0)
            return QStringLiteral("");
        return {};
    }
    bool isEmpty() const override { return false; }
};

int TitlePixels(TDIB card) {
    return CountIn(card, 10, 196, 173, 216, Bright);
}

// Every overlay shares the card drawn once; a language that changes its words gets it drawn again,
// and the words come back with the language.
TEST(HelpCardLanguage, TheSharedCardIsDrawnAgainWhenItsWordsChange) {
    const TDIB first = CurrentHelpCard();
    ASSERT_FALSE(first.Empty());
    EXPECT_TRUE(CurrentHelpCard().SharesWith(first)) << "the same words share the card drawn before";
    EXPECT_GT(TitlePixels(first), 150);
    {
        TRetitling retitling;
        ASSERT_TRUE(QCoreApplication::installTranslator(&retitling));
        EXPECT_EQ(HelpCardTexts().title, QString());
        TDIB untitled = CurrentHelpCard();
        QCoreApplication::removeTranslator(&retitling);
        ASSERT_FALSE(untitled.Empty());
        EXPECT_EQ(TitlePixels(untitled), 0) << "the card still shows the old title";
        EXPECT_GT(CountIn(untitled, 8, 140, 54, 160, Bright), 20) << "CTRL + stays";
    }
    EXPECT_GT(TitlePixels(CurrentHelpCard()), 150);
}

TEST(HelpCardLanguage, TheWordsAreTheDesignsInBothLanguages) {
    EXPECT_EQ(HelpCardTexts(), (THelpCardTexts{QStringLiteral("CTRL +"), QStringLiteral("SCREEN CAPTURE")}));
    TEnglishInterface english;
    ASSERT_TRUE(english.Shown());
    EXPECT_EQ(HelpCardTexts(), (THelpCardTexts{QStringLiteral("CTRL +"), QStringLiteral("SCREEN CAPTURE")}));
}

} // namespace
