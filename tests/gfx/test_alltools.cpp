#include "AllTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <sys/file.h>

namespace {

struct CleanCase {
    const char* name;
    QByteArray input;
    QByteArray expected;
};
void PrintTo(const CleanCase& c, std::ostream* os) {
    *os << c.name;
}

class CleanFileNameTest : public ::testing::TestWithParam<CleanCase> {};

TEST_P(CleanFileNameTest, Cleans) {
    EXPECT_EQ(CleanFileNameBytes(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CleanFileNameTest,
    ::testing::Values(CleanCase{"forbidden_dropped", "a:b*c?.txt", "abc.txt"},
                      CleanCase{"all_nine", "\"*/:<>?\\|x", "x"}, CleanCase{"only_forbidden", "<>:|?*", ""},
                      CleanCase{"control_bytes",
                                QByteArray("a\tb\nc\x1f"
                                           "d",
                                           8),
                                "abcd"},
                      CleanCase{"reserved_exact", "con", "Forbidden filename"},
                      CleanCase{"reserved_upper", "LPT9", "Forbidden filename"},
                      CleanCase{"reserved_after_cleaning", "c:o*n", "Forbidden filename"},
                      CleanCase{"reserved_with_ext_kept", "CON.txt", "CON.txt"},
                      CleanCase{"not_reserved_com10", "COM10", "COM10"}, CleanCase{"empty", "", ""},
                      CleanCase{"ascii_200_cut_to_130", QByteArray(200, 'a'), QByteArray(130, 'a')},
                      CleanCase{"spaces_and_dots_kept", " a . b ", " a . b "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CleanFileName, NeverCutsAUtf8CharacterInHalf) {
    // 43 three-byte characters are 129 bytes; one more would straddle byte 130.
    QString text;
    for (int i = 0; i < 60; ++i)
        text += QChar(0x6587); // 文
    const QByteArray cleaned = CleanFileName(text).toUtf8();
    EXPECT_EQ(cleaned.size(), 129);
    EXPECT_TRUE(QString::fromUtf8(cleaned).isValidUtf16());
    EXPECT_EQ(QString::fromUtf8(cleaned), text.left(43));

    // A two-byte character right at the limit: 129 ASCII bytes + "é" would end at byte 131.
    const QByteArray latin = QByteArray(129, 'x') + "\xC3\xA9";
    EXPECT_EQ(CleanFileNameBytes(latin), QByteArray(129, 'x'));
    // A four-byte character that fits exactly is kept.
    const QByteArray emoji = QByteArray(126, 'x') + "\xF0\x9F\x98\x80" + "tail";
    EXPECT_EQ(CleanFileNameBytes(emoji), QByteArray(126, 'x') + "\xF0\x9F\x98\x80");
}

class UniqueFileNameTest : public ::testing::Test {
  protected:
    void Touch(const QString& name) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QString Unique(const QString& name) {
        return QDir(dir.path()).relativeFilePath(UniqueFileName(dir.filePath(name)));
    }
    QTemporaryDir dir;
};

TEST_F(UniqueFileNameTest, NumbersTakenNames) {
    EXPECT_EQ(Unique("Shot.png"), "Shot.png");
    Touch("Shot.png");
    EXPECT_EQ(Unique("Shot.png"), "Shot_2.png");
    Touch("Shot_2.png");
    EXPECT_EQ(Unique("Shot.png"), "Shot_3.png");
    Touch("Shot_7.png");
    EXPECT_EQ(Unique("Shot_7.png"), "Shot_8.png");
    Touch("Shot_.png");
    EXPECT_EQ(Unique("Shot_.png"), "Shot_1.png");
    Touch("x_9.jpg");
    Touch("x_10.jpg");
    EXPECT_EQ(Unique("x_9.jpg"), "x_11.jpg");
    Touch("noext");
    EXPECT_EQ(Unique("noext"), "noext_2");
    Touch("v1.2_3"); // everything after the last dot is the extension, counter or not
    EXPECT_EQ(Unique("v1.2_3"), "v1_2.2_3");
    Touch("a_99999999999999999999.png"); // a counter too large to read counts as 0
    EXPECT_EQ(Unique("a_99999999999999999999.png"), "a_1.png");
}

TEST_F(UniqueFileNameTest, CounterOnlyInTheFileNameNotTheFolder) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("dir_5.d"));
    Touch("dir_5.d/shot");
    EXPECT_EQ(Unique("dir_5.d/shot"), "dir_5.d/shot_2");
}

TEST_F(UniqueFileNameTest, CreateNewFileNeverReplaces) {
    const QString target = dir.filePath("cap.png");
    Touch("cap.png");
    QString error;
    const QString written = CreateNewFile(
        target, [](QIODevice& d) { return d.write("new") == 3; }, &error);
    EXPECT_EQ(QDir(dir.path()).relativeFilePath(written), "cap_2.png") << error.toStdString();
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray()); // the earlier file is untouched
    QFile fresh(written);
    ASSERT_TRUE(fresh.open(QIODevice::ReadOnly));
    EXPECT_EQ(fresh.readAll(), QByteArray("new"));
}

TEST_F(UniqueFileNameTest, CreateNewFileLosingTheRaceTakesTheNextName) {
    // Another writer makes the proposed name while this one is writing.
    const QString target = dir.filePath("race.png");
    const QString written = CreateNewFile(target, [&](QIODevice& d) {
        QFile other(target);
        other.open(QIODevice::WriteOnly);
        other.write("theirs");
        return d.write("mine") == 4;
    });
    EXPECT_EQ(QDir(dir.path()).relativeFilePath(written), "race_2.png");
    QFile theirs(target);
    ASSERT_TRUE(theirs.open(QIODevice::ReadOnly));
    EXPECT_EQ(theirs.readAll(), QByteArray("theirs"));
}

TEST_F(UniqueFileNameTest, FailedWriteLeavesNothing) {
    QString error;
    EXPECT_TRUE(CreateNewFile(
                    dir.filePath("bad.png"), [](QIODevice&) { return false; }, &error)
                    .isEmpty());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(CreateNewFile(
                    "/nonexistent-folder/x.png", [](QIODevice&) { return true; }, &error)
                    .isEmpty());
}

TEST_F(UniqueFileNameTest, ReplaceFileKeepsTheOldFileUntilTheNewOneIsWhole) {
    const QString target = dir.filePath("shot.png");
    Touch("shot.png");
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    EXPECT_TRUE(ReplaceFile(
                    target, [](QIODevice& d) { return d.write("half") == 4 && false; }, &error)
                    .isEmpty());
    EXPECT_EQ(QFileInfo(target).size(), 0) << "a failed write keeps the old file";
    EXPECT_EQ(ReplaceFile(
                  target, [](QIODevice& d) { return d.write("whole") == 5; }, &error),
              target);
    QFile fresh(target);
    ASSERT_TRUE(fresh.open(QIODevice::ReadOnly));
    EXPECT_EQ(fresh.readAll(), QByteArray("whole"));
    EXPECT_FALSE(QFile::permissions(target) & (QFile::ReadGroup | QFile::ReadOther))
        << "its permissions stay";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"shot.png"});
}

// Leftovers of a killed writer go; one a writer still holds, and anything not named like ours, stay.
TEST_F(UniqueFileNameTest, StaleTemporariesGoHeldOnesStay) {
    for (const char* name : {".vexmor-AbC123", ".vexmor-held00", ".vexmor-ab", "vexmor-AbC123", "notes.txt"})
        Touch(name);
    QFile held(dir.filePath(".vexmor-held00"));
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    ASSERT_EQ(::flock(held.handle(), LOCK_EX), 0);
    EXPECT_EQ(RemoveStaleTemporaries({dir.path(), QString(), dir.filePath("missing")}), 1);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{".vexmor-ab", ".vexmor-held00", "notes.txt", "vexmor-AbC123"}));
}

TEST(Paths, TrailingSeparator) {
    QString p = "/tmp";
    IncludeTrailingBackslash(p);
    EXPECT_EQ(p, "/tmp/");
    IncludeTrailingBackslash(p);
    EXPECT_EQ(p, "/tmp/");
    QString empty;
    IncludeTrailingBackslash(empty);
    EXPECT_EQ(empty, "/");
}

// The test program runs under a comma-decimal locale when the machine has one.
TEST(NumberFormat, DotWhateverTheLocale) {
    const char* ctype = std::setlocale(LC_CTYPE, nullptr);
    if (!ctype || std::string(ctype).rfind("de_DE", 0) != 0) GTEST_SKIP() << "no de_DE locale here";
    EXPECT_EQ(QLocale::system().decimalPoint(), ","); // the machine's own locale is a comma one
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", 1234.5);
    EXPECT_STREQ(buffer, "1234.50");
    EXPECT_EQ(QLocale().toString(1234.5, 'f', 1), "1234.5");
    EXPECT_EQ(StrToIntDef("1.000", 9), 9); // no grouping
    EXPECT_EQ(StrToIntDef("-2621440", 0), -2621440);
}

TEST(Version, OnlyTheProgramItselfCarriesAVersion) {
    const QString self = QCoreApplication::applicationFilePath();
    EXPECT_EQ(VersionString(self, vkFileVersion), "1.5.0.0");
    EXPECT_EQ(VersionString(self, 99), "");
    EXPECT_EQ(VersionString("/nonexistent/vexmor", vkFileVersion), "");
    EXPECT_EQ(VersionString("/bin/sh", vkFileVersion), "");
}

} // namespace
