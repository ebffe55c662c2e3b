// The settings file: its text form, what a foreign or broken file loads as, and that a save either
// writes the whole file or leaves the old one.
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
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
    qputenv("XDG_CONFIG_HOME", "relative/cfg"); // not absolute: ignored
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
    store.WriteInteger(kKey, QStringLiteral("AfterCaptureSel"), 2); // replaces, keeps the order
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
    ASSERT_TRUE(out.Save()); // makes the missing folders
    TSettingsStore in(path);
    ASSERT_TRUE(in.Load());
    // A line break cannot survive in a line-based file; it must not split the value into two.
    EXPECT_EQ(in.ReadString(kKey, QStringLiteral("Name")), QStringLiteral("line one line two = x"));
    EXPECT_EQ(in.ReadInteger(kKey, QStringLiteral("Min"), 0), INT_MIN);
    EXPECT_EQ(in.ReadInteger(kKey, QStringLiteral("Max"), 0), INT_MAX);
}

// A section or value name is kept on one line, so it must be found under the spelling it was written
// with, and written only once (a fuzz find: a section header with a carriage return inside, twice).
TEST(SettingsStore, NamesAreFoundAgainAndNeverDoubledWhateverTheirSpelling) {
    TSettingsStore store;
    store.Parse("[ Soft\rware]\nA=1\n[Soft\rware]\nB=2\n");
    EXPECT_EQ(store.Serialize(), QByteArray("[Soft ware]\nA=1\nB=2\n"));
    EXPECT_EQ(store.ReadInteger(QStringLiteral("Soft\rware"), QStringLiteral("B"), 0), 2);
    store.WriteInteger(kKey, QStringLiteral(" Left=X\n"), 1);
    store.WriteInteger(kKey, QStringLiteral(" Left=X\n"), 2);
    EXPECT_EQ(store.ReadInteger(kKey, QStringLiteral(" Left=X\n"), 0), 2);
    EXPECT_TRUE(store.Serialize().endsWith("[Software\\Vexmor]\nLeft_X=2\n"));
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
    const char* text; // the file's value; null: no such line
    int expected;     // with fallback 90
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
                      IntCase{"spaces", "  42  ", 42}, IntCase{"missing", nullptr, 90},
                      IntCase{"empty", "", 90}, IntCase{"letters", "abc", 90},
                      IntCase{"trailing_letters", "12abc", 90}, IntCase{"decimal_point", "5.0", 90},
                      IntCase{"decimal_comma", "5,0", 90}, IntCase{"hex", "0x10", 90},
                      IntCase{"too_big", "2147483648", 90}, IntCase{"too_small", "-2147483649", 90},
                      IntCase{"huge", "99999999999999999999999", 90},
                      IntCase{"int_max", "2147483647", INT_MAX}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsStore, ForeignAndBrokenFilesLoadWithoutHarm) {
    struct Case {
        const char* name;
        QByteArray data;
    };
    QByteArray junk(4096, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 131 + 7) % 256);
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

// Bytes that are not UTF-8 come back three times as long, so a file that loaded can grow past the
// limit; writing it would leave a file that loads as empty.
TEST(SettingsStore, SaveKeepsTheOldFileRatherThanWriteOneLoadRefuses) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Vexmor.ini"));
    const QByteArray oldText =
        "[Software\\Vexmor]\nV=" + QByteArray(TSettingsStore::kMaxFileSize / 2, '\xff') + "\n";
    WriteAll(path, oldText);
    TSettingsStore store(path);
    ASSERT_TRUE(store.Load());
    EXPECT_FALSE(store.Save());
    EXPECT_EQ(ReadAll(path), oldText);
}

TEST(SettingsStore, KeepsLinesItDoesNotKnow) {
    TSettingsStore store;
    store.Parse("[Software\\Vexmor]\nFuture=7\n[Elsewhere]\nA=1\n");
    store.WriteInteger(kKey, QStringLiteral("JPGQSel"), 60);
    const QByteArray out = store.Serialize();
    EXPECT_TRUE(out.contains("Future=7\n"));
    EXPECT_TRUE(out.contains("[Elsewhere]\nA=1\n"));
}

// Runs `body` in a child process that has a mount namespace of its own with a 64 KiB tmpfs mounted on
// `folder`, and returns what it reported: empty when all went well. Root needs only the mount
// namespace; anybody else first becomes root of a user namespace of their own. Null when this machine
// allows neither.
std::optional<std::string> InTinyFileSystem(const QString& folder, const std::function<std::string()>& body) {
    int report[2];
    if (::pipe(report) != 0) return "no pipe";
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    const pid_t child = ::fork();
    if (child < 0) return "no fork";
    if (child == 0) {
        ::close(report[0]);
        const auto writeFile = [](const char* path, const std::string& text) {
            const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
            const bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
            if (fd >= 0) ::close(fd);
            return ok;
        };
        bool ready = ::unshare(CLONE_NEWNS) == 0;
        if (!ready && ::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0)
            ready = writeFile("/proc/self/setgroups", "deny") &&
                    writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
                    writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
        ready = ready && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") == 0;
        if (!ready) ::_exit(77);
        const std::string failure = body();
        (void)!::write(report[1], failure.data(), failure.size());
        ::_exit(0);
    }
    ::close(report[1]);
    std::string failure;
    char buffer[512];
    for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) != 0;)
        if (n > 0)
            failure.append(buffer, size_t(n));
        else if (errno != EINTR)
            break;
    ::close(report[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "the child ended with status " + std::to_string(status);
    return failure;
}

// A full disk: the save fails, the old file is whole and no temporary is left. Where no namespace can
// be had (not as root), a read-only folder stands in for the full disk.
TEST(SettingsStore, FailedSaveLeavesTheOldFileWhole) {
    const QByteArray oldText = "[Software\\Vexmor]\nJPGQSel=50\n";
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Vexmor"));
    const QString path = folder + QStringLiteral("/Vexmor.ini");
    const auto saveAndCheck = [&]() -> std::string {
        TSettingsStore store(path);
        if (!store.Load()) return "the old file does not load";
        store.WriteInteger(kKey, QStringLiteral("JPGQSel"), 70);
        store.WriteString(kKey, QStringLiteral("Title"), QString(3000, u'x'));
        if (store.Save()) return "Save() reported success";
        if (ReadAll(path) != oldText) return "the old file changed";
        const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        if (left != QStringList{QStringLiteral("Vexmor.ini")})
            return "left behind: " + left.join(u' ').toStdString();
        return {};
    };
    const std::optional<std::string> full = InTinyFileSystem(dir.path(), [&]() -> std::string {
        QDir().mkpath(folder);
        QFile old(path);
        if (!old.open(QIODevice::WriteOnly) || old.write(oldText) != oldText.size() || !old.flush())
            return "cannot write the old file";
        old.close();
        // Fill the file system to its last byte, beside the settings folder.
        const int fd = ::open(QFile::encodeName(dir.filePath(QStringLiteral("filler"))).constData(),
                              O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        const std::string block(4096, 'f');
        for (size_t chunk : {block.size(), size_t(1)})
            while (::write(fd, block.data(), chunk) > 0) {
            }
        ::close(fd);
        struct statvfs vfs {};
        if (::statvfs(QFile::encodeName(dir.path()).constData(), &vfs) != 0 || vfs.f_bavail != 0)
            return "the disk is not full";
        return saveAndCheck();
    });
    if (full) {
        EXPECT_EQ(*full, "");
        return;
    }
    ASSERT_NE(::geteuid(), 0u) << "root here can make neither a mount nor a user namespace";
    WriteAll(path, oldText);
    ::chmod(QFile::encodeName(folder).constData(), 0555);
    const std::string readOnly = saveAndCheck();
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    EXPECT_EQ(readOnly, "");
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
