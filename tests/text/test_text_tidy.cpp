#include "TextCompare.h"
#include "TextEngine.h"

#include <gtest/gtest.h>

TEST(TextTidy, SpacesFollowTheScript) {
    struct Case {
        const char* in;
        const char* want;
    };
    for (const Case& c : {
             Case{"屏 幕 截 图", "屏幕截图"},
             Case{"Screen  capture \t text", "Screen capture text"},
             Case{"使用 Qt 6 截图", "使用 Qt 6 截图"},
             Case{"图片 : 如果 ; 就", "图片：如果；就"},
             Case{"ratio 3:2, done", "ratio 3:2, done"},
             Case{"first line   \nsecond\n\n\n\nnext paragraph\n\f", "first line\nsecond\n\nnext paragraph"},
             Case{"  \n 开 头", "开头"},
         }) {
        EXPECT_EQ(TidyRecognisedText(QString::fromUtf8(c.in)), QString::fromUtf8(c.want)) << c.in;
    }
}

TEST(TextTidy, CharacterErrorRate) {
    struct Case {
        const char* read;
        const char* reference;
        double want;
    };
    for (const Case& c : {Case{"hello world", "hello world", 0}, Case{"hallo world", "hello world", 1.0 / 11},
                          Case{"hello\nworld", "hello world", 0},
                          Case{"helo world!", "hello world", 2.0 / 11}, Case{"屏幕 截图", "屏幕截图", 0},
                          Case{"屏慕截", "屏幕截图", 0.5}, Case{"", "abcd", 1}, Case{"x", "", 1}}) {
        EXPECT_NEAR(CharacterErrorRate(QString::fromUtf8(c.read), QString::fromUtf8(c.reference)), c.want,
                    1e-9)
            << c.read;
    }
}
