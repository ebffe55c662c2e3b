// The settings file: its text form, what a foreign or broken file loads as, and that a save either
// writes the whole file or leaves the old one.
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kKey = QStringLiteral("Software\\Vexmor");

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

TEST(SettingsStore, PathFollowsXdgConfigHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/somewhere/cfg");
    EXPECT_EQ(TSettingsStore::DefaultPath(), QStringLiteral("/somewhere/cfg/Vexmor/Vexmor.ini"));
    qputenv("XDG_CONFIG_HOME", "relative/cfg");  // not absolute: ignored
    EXPECT_EQ(TSettingsStore::DefaultPath(), QDir::homePath() + QStringLiteral("/.config/Vexmor/Vexmor.ini"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(TSettingsStore::DefaultPath(), QDir::homePath() + QStringLiteral("/.config/Vexmor/Vexmor.ini"));
    if (!saved.isNull()) qputenv("XDG_CONFIG_HOME", saved);
}

TEST(SettingsStore, WritesRegistryStyleSectionsAsUtf8Text) {
    TSettingsStore store(QStringLiteral("/nonexistent/x.ini"));
    store.WriteInteger(kKey, QStringLiteral("AfterCaptureSel"), 1);
    store.WriteInteger(kKey, QStringLiteral("画笔颜色"), int32_t(0xFFD80000u));
    store.WriteInteger(kKey + QStringLiteral("\\VexmorMainForm"), QStringLiteral("Left"), -5);
    store.WriteInteger(kKey, QStringLiteral("AfterCaptureSel"), 2);  // replaces, keeps the order
    EXPECT_EQ(store.Serialize(), QStringLiteral("[Software\\Vexmor]\nAfterCaptureSel=2\n画笔颜色=-2621440\n\n"
                                                "[Software\\Vexmor\\VexmorMainForm]\nLeft=-5\n")
                                     .toUtf8());
}

TEST(SettingsStore, ReadsBackWhatItWrites) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/folder/Vexmor.ini"));
    TSettingsStore out(path);
    out.WriteString(kKey, QStringLiteral("Name"), QStringLiteral("line one\nline two = x"));
    out.WriteInteger(kKey, QStringLiteral("Min"), INT_MIN);
    out.WriteInteger(kKey, QStringLiteral("Max"), INT_MAX);
    ASSERT_TRUE(out.Save());  // makes the missing folders
    TSettingsStore in(path);
    ASSERT_TRUE(in.Load());
    // A line break cannot survive in a line-based file; it must not split the value into two.
    EXPECT_EQ(in.ReadString(kKey, QStringLiteral("Name")), QStringLiteral("line one line two = x"));
    EXPECT_EQ(in.ReadInteger(kKey, QStringLiteral("Min"), 0), INT_MIN);
    EXPECT_EQ(in.ReadInteger(kKey, QStringLiteral("Max"), 0), INT_MAX);
}

TEST(SettingsStore, NamesIgnoreLetterCaseLikeTheRegistry) {
    TSettingsStore store;
    store.Parse("[software\\VEXMOR]\njpgqsel=70\n");
    EXPECT_EQ(store.ReadInteger(kKey, QStringLiteral("JPGQSel"), 0), 70);
    store.WriteInteger(kKey, QStringLiteral("JPGQSEL"), 80);
    EXPECT_EQ(store.Serialize(), QByteArray("[software\\VEXMOR]\njpgqsel=80\n"));
}

struct IntCase {
    const char* name;
    const char* text;  // the file's value; null: no such line
    int expected;      // with fallback 90
};

class SettingsStoreIntegers : public ::testing::TestWithParam<IntCase> {};

TEST_P(SettingsStoreIntegers, OnlyDecimal32BitNumbersCount) {
    TSettingsStore store;
    QByteArray file = "[Software\\Vexmor]\n";
    if (GetParam().text) file += QByteArray("V=") + GetParam().text + "\n";
    store.Parse(file);
    EXPECT_EQ(store.ReadInteger(kKey, QStringLiteral("V"), 90), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsStoreIntegers,
    ::testing::Values(IntCase{"plain", "5", 5}, IntCase{"negative", "-2621440", -2621440},
                      IntCase{"spaces", "  42  ", 42}, IntCase{"missing", nullptr, 90}, IntCase{"empty", "", 90},
                      IntCase{"letters", "abc", 90}, IntCase{"trailing_letters", "12abc", 90},
                      IntCase{"decimal_point", "5.0", 90}, IntCase{"decimal_comma", "5,0", 90},
                      IntCase{"hex", "0x10", 90}, IntCase{"too_big", "2147483648", 90},
                      IntCase{"too_small", "-2147483649", 90}, IntCase{"huge", "99999999999999999999999", 90},
                      IntCase{"int_max", "2147483647", INT_MAX}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsStore, ForeignAndBrokenFilesLoadWithoutHarm) {
    struct Case {
        const char* name;
        QByteArray data;
    };
    QByteArray junk(4096, '\0');
    for (int i = 0; i < junk.size(); ++i) junk[i] = char((i * 131 + 7) % 256);
    const Case cases[] = {
        {"binary", junk},
        {"no_sections", "JPGQSel=50\nFormatSel=2\n"},
        {"other_sections", "[Other]\nJPGQSel=50\n"},
        {"broken_header", "[Software\\Vexmor\nJPGQSel=50\n"},
        {"no_name", "[Software\\Vexmor]\n=50\n"},
        {"crlf", "[Software\\Vexmor]\r\nJPGQSel=50\r\n"},
        {"huge_line", "[Software\\Vexmor]\nJPGQSel=" + QByteArray(200000, '9') + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSettingsStore store;
        store.Parse(c.data);
        const int v = store.ReadInteger(kKey, QStringLiteral("JPGQSel"), 90);
        if (QByteArray(c.name) == "crlf")
            EXPECT_EQ(v, 50);
        else
            EXPECT_EQ(v, 90);
    }
}

TEST(SettingsStore, OversizedFileLoadsAsEmpty) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Vexmor.ini"));
    WriteAll(path, "[Software\\Vexmor]\nJPGQSel=50\n" + QByteArray(TSettingsStore::kMaxFileSize, '#'));
    TSettingsStore store(path);
    EXPECT_FALSE(store.Load());
    EXPECT_FALSE(store.ValueExists(kKey, QStringLiteral("JPGQSel")));
}

TEST(SettingsStore, KeepsLinesItDoesNotKnow) {
    TSettingsStore store;
    store.Parse("[Software\\Vexmor]\nFuture=7\n[Elsewhere]\nA=1\n");
    store.WriteInteger(kKey, QStringLiteral("JPGQSel"), 60);
    const QByteArray out = store.Serialize();
    EXPECT_TRUE(out.contains("Future=7\n"));
    EXPECT_TRUE(out.contains("[Elsewhere]\nA=1\n"));
}

TEST(SettingsStore, FailedSaveLeavesTheOldFileWhole) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Vexmor"));
    const QString path = folder + QStringLiteral("/Vexmor.ini");
    WriteAll(path, "[Software\\Vexmor]\nJPGQSel=50\n");
    ::chmod(QFile::encodeName(folder).constData(), 0555);
    TSettingsStore store(path);
    ASSERT_TRUE(store.Load());
    store.WriteInteger(kKey, QStringLiteral("JPGQSel"), 70);
    EXPECT_FALSE(store.Save());
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    EXPECT_EQ(ReadAll(path), QByteArray("[Software\\Vexmor]\nJPGQSel=50\n"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary file left behind";
}

TEST(SettingsStore, SaveReplacesTheFileInOneStep) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Vexmor.ini"));
    WriteAll(path, "[Software\\Vexmor]\nJPGQSel=50\n");
    struct stat oldStat {};
    ::stat(QFile::encodeName(path).constData(), &oldStat);
    TSettingsStore store(path);
    store.Load();
    store.WriteInteger(kKey, QStringLiteral("JPGQSel"), 70);
    ASSERT_TRUE(store.Save());
    struct stat newStat {};
    ::stat(QFile::encodeName(path).constData(), &newStat);
    // A new file renamed over the old one, never the old one rewritten in place.
    EXPECT_NE(oldStat.st_ino, newStat.st_ino);
    EXPECT_EQ(ReadAll(path), QByteArray("[Software\\Vexmor]\nJPGQSel=70\n"));
}

TEST(SettingsStore, MissingFileIsEmptyAndAFolderIsNotAFile) {
    QTemporaryDir dir;
    TSettingsStore missing(dir.filePath(QStringLiteral("none.ini")));
    EXPECT_FALSE(missing.Load());
    TSettingsStore folder(dir.path());
    EXPECT_FALSE(folder.Load());
    EXPECT_FALSE(folder.Save());
}

} // namespace
