#include "DesktopServices.h"

#include <QDir>
#include <QDomDocument>
#include <QUrl>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <glib.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// Each test gets private XDG folders and PATH entries.
class DesktopServices : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "PATH", "VEXMOR_EDITOR"})
            saved[v] = qgetenv(v);
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
        qunsetenv("VEXMOR_EDITOR");
    }
    void TearDown() override {
        for (const auto& [name, value] : saved)
            qputenv(name.c_str(), value);
    }
    QString Script(const QString& name, const QString& body) {
        QDir().mkpath(dir.filePath("bin"));
        const QString path = dir.filePath("bin/" + name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(("#!/bin/sh\n" + body + "\n").toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    static QByteArray ReadWhenThere(const QString& path) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            QFile f(path);
            if (f.open(QIODevice::ReadOnly) && f.size() > 0) return f.readAll();
            QThread::msleep(20);
        }
        return {};
    }
    QTemporaryDir dir;
    std::map<std::string, QByteArray> saved;
};

TEST_F(DesktopServices, AutostartEntryFollowsTheBoxAndIgnoresCase) {
    TXdgAutostart autostart;
    const QString program = "/opt/Vexmor/vexmor";
    EXPECT_FALSE(autostart.IsEnabled(program));
    EXPECT_TRUE(autostart.SetEnabled(program, false).ok); // deleting an absent entry is fine
    ASSERT_TRUE(autostart.SetEnabled(program, true).ok);
    QFile entry(TXdgAutostart::EntryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    EXPECT_TRUE(text.contains("Name=Vexmor by Tolvane\n"));
    EXPECT_TRUE(text.contains("Exec=/opt/Vexmor/vexmor /Tray\n"));
    EXPECT_TRUE(autostart.IsEnabled(program));
    EXPECT_TRUE(autostart.IsEnabled("/OPT/vexmor/VEXMOR"));
    EXPECT_FALSE(autostart.IsEnabled("/usr/bin/vexmor"));
    ASSERT_TRUE(autostart.SetEnabled(program, false).ok);
    EXPECT_FALSE(QFile::exists(TXdgAutostart::EntryPath()));
}

TEST_F(DesktopServices, AutostartQuotesPathsTheEntryFormatReserves) {
    TXdgAutostart autostart;
    const QString program = "/home/a b/100%/vexmor";
    EXPECT_EQ(TXdgAutostart::ExpectedExec(program), "\"/home/a b/100%%/vexmor\" /Tray");
    ASSERT_TRUE(autostart.SetEnabled(program, true).ok);
    EXPECT_TRUE(autostart.IsEnabled(program));
}

// An entry the session would not start counts as none, so the box shows unticked; ticking it writes
// a fresh entry over it.
TEST_F(DesktopServices, AutostartEntryTheSessionSkipsCountsAsAbsent) {
    struct Row {
        const char* name;
        const char* extra; // lines after the Exec line
        bool enabled;
    };
    const Row rows[] = {
        {"plain", "", true},
        {"hidden", "Hidden=true\n", false},
        {"gnome_disabled", "X-GNOME-Autostart-enabled=false\n", false},
        {"explicitly_shown", "Hidden=false\nX-GNOME-Autostart-enabled=true\n", true},
        {"hidden_in_another_group", "[Desktop Action x]\nName=x\nHidden=true\n", true},
    };
    TXdgAutostart autostart;
    const QString program = "/opt/vexmor/vexmor";
    QDir().mkpath(QFileInfo(TXdgAutostart::EntryPath()).absolutePath());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        {
            QFile entry(TXdgAutostart::EntryPath());
            ASSERT_TRUE(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
            entry.write(
                "[Desktop Entry]\nType=Application\nName=Vexmor by Tolvane\nExec=/opt/vexmor/vexmor /Tray\n");
            entry.write(row.extra);
        }
        EXPECT_EQ(autostart.IsEnabled(program), row.enabled);
        ASSERT_TRUE(autostart.SetEnabled(program, true).ok);
        EXPECT_TRUE(autostart.IsEnabled(program));
    }
}

TEST_F(DesktopServices, RecentListGainsOneBookmarkPerFileAndKeepsOthers) {
    QDir().mkpath(dir.filePath("data"));
    {
        QFile list(TDesktopShell::RecentFilesPath());
        list.open(QIODevice::WriteOnly);
        list.write("<?xml version=\"1.0\"?>\n<xbel version=\"1.0\" "
                   "xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\">"
                   "<bookmark href=\"file:///other.txt\" added=\"2020-01-02T03:04:05Z\"><info><metadata "
                   "owner=\"http://freedesktop.org\">"
                   "<bookmark:applications><bookmark:application name=\"Editor\" exec=\"editor %f\" "
                   "modified=\"2020-01-02T03:04:05Z\" "
                   "count=\"1\"/></bookmark:applications></metadata></info></bookmark></xbel>\n");
    }
    TDesktopShell shell;
    const QString shot = dir.filePath("截图 1.png");
    ASSERT_TRUE(shell.AddRecentDocument(shot).ok);
    ASSERT_TRUE(shell.AddRecentDocument(shot).ok);
    QFile list(TDesktopShell::RecentFilesPath());
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(&list));
    const QDomNodeList bookmarks = doc.elementsByTagName("bookmark");
    ASSERT_EQ(bookmarks.size(), 2);
    EXPECT_EQ(bookmarks.at(0).toElement().attribute("href"), "file:///other.txt");
    const QDomElement mine = bookmarks.at(1).toElement();
    EXPECT_EQ(QUrl(mine.attribute("href")).toLocalFile(), shot);
    EXPECT_EQ(mine.elementsByTagName("mime:mime-type").at(0).toElement().attribute("type"), "image/png");
    EXPECT_EQ(mine.elementsByTagName("bookmark:application").at(0).toElement().attribute("count"), "2");
}

TEST_F(DesktopServices, RecentListThatDoesNotLoadIsLeftAlone) {
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"truncated", "<xbel><bookmark"},
        {"not_a_bookmark_list", "<?xml version=\"1.0\"?>\n<html><body/></html>\n"},
        {"bad_date", "<xbel version=\"1.0\"><bookmark href=\"file:///a.txt\" added=\"yesterday\"/></xbel>"},
        {"binary", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)},
        // GLib writes only bookmarks that name a program; rewriting would lose this one.
        {"entry_without_application",
         "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\"><bookmark href=\"file:///other.txt\"/></xbel>\n"},
    };
    QDir().mkpath(dir.filePath("data"));
    const QString listPath = TDesktopShell::RecentFilesPath();
    TDesktopShell shell;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            QFile list(listPath);
            ASSERT_TRUE(list.open(QIODevice::WriteOnly | QIODevice::Truncate));
            list.write(c.bytes);
        }
        EXPECT_FALSE(shell.AddRecentDocument(dir.filePath("a.jpg")).ok);
        QFile list(listPath);
        ASSERT_TRUE(list.open(QIODevice::ReadOnly));
        EXPECT_EQ(list.readAll(), c.bytes);
        EXPECT_EQ(QDir(dir.filePath("data")).entryList(QDir::Files | QDir::Hidden).size(), 1)
            << "no temporary left";
    }
    // Something at the list's place that is not a file is not read (nor waited on) nor replaced.
    QFile::remove(listPath);
    ASSERT_EQ(::mkfifo(QFile::encodeName(listPath).constData(), 0600), 0);
    EXPECT_FALSE(shell.AddRecentDocument(dir.filePath("a.jpg")).ok);
    EXPECT_FALSE(QFileInfo(listPath).isFile());
}

TEST_F(DesktopServices, MissingOrEmptyRecentListStartsWithTheOneEntry) {
    TDesktopShell shell;
    const QString listPath = TDesktopShell::RecentFilesPath();
    for (bool empty : {false, true}) {
        SCOPED_TRACE(empty ? "empty" : "missing");
        QFile::remove(listPath);
        if (empty) {
            QDir().mkpath(dir.filePath("data"));
            QFile(listPath).open(QIODevice::WriteOnly);
        }
        ASSERT_TRUE(shell.AddRecentDocument(dir.filePath("shot.bmp")).ok);
        GBookmarkFile* list = g_bookmark_file_new();
        ASSERT_TRUE(g_bookmark_file_load_from_file(list, QFile::encodeName(listPath).constData(), nullptr));
        EXPECT_EQ(g_bookmark_file_get_size(list), 1);
        g_bookmark_file_free(list);
    }
}

// Another program's list, written by GLib as such programs do: its entries stay as they were, and the
// entry it already has for our file is refreshed, not doubled.
TEST_F(DesktopServices, RecentEntryIsRefreshedAndOtherProgramsEntriesKept) {
    const QString shot = dir.filePath("shot one.jpeg");
    gchar* shotUri = g_filename_to_uri(QFile::encodeName(shot).constData(), nullptr, nullptr);
    const char* otherUri = "file:///home/u/notes.txt";
    GDateTime* old = g_date_time_new_utc(2001, 2, 3, 4, 5, 6);
    {
        GBookmarkFile* list = g_bookmark_file_new();
        g_bookmark_file_add_application(list, otherUri, "Editor", "editor %f");
        g_bookmark_file_set_mime_type(list, otherUri, "text/plain");
        g_bookmark_file_add_application(list, shotUri, "Viewer", "viewer %u");
        for (const char* uri : {otherUri, (const char*)shotUri}) {
            g_bookmark_file_set_added_date_time(list, uri, old);
            g_bookmark_file_set_modified_date_time(list, uri, old);
            g_bookmark_file_set_visited_date_time(list, uri, old);
        }
        QDir().mkpath(dir.filePath("data"));
        ASSERT_TRUE(g_bookmark_file_to_file(
            list, QFile::encodeName(TDesktopShell::RecentFilesPath()).constData(), nullptr));
        g_bookmark_file_free(list);
    }
    TDesktopShell shell;
    ASSERT_TRUE(shell.AddRecentDocument(shot).ok);
    ASSERT_TRUE(shell.AddRecentDocument(shot).ok);

    GBookmarkFile* list = g_bookmark_file_new();
    ASSERT_TRUE(g_bookmark_file_load_from_file(
        list, QFile::encodeName(TDesktopShell::RecentFilesPath()).constData(), nullptr));
    EXPECT_EQ(g_bookmark_file_get_size(list), 2);
    gchar* mime = g_bookmark_file_get_mime_type(list, otherUri, nullptr);
    EXPECT_STREQ(mime, "text/plain");
    g_free(mime);
    EXPECT_TRUE(g_bookmark_file_has_application(list, otherUri, "Editor", nullptr));
    EXPECT_FALSE(g_bookmark_file_has_application(list, otherUri, "Vexmor", nullptr));
    EXPECT_EQ(g_date_time_compare(g_bookmark_file_get_modified_date_time(list, otherUri, nullptr), old), 0);

    mime = g_bookmark_file_get_mime_type(list, shotUri, nullptr);
    EXPECT_STREQ(mime, "image/jpeg");
    g_free(mime);
    EXPECT_TRUE(g_bookmark_file_has_application(list, shotUri, "Viewer", nullptr));
    gchar* exec = nullptr;
    guint count = 0;
    ASSERT_TRUE(
        g_bookmark_file_get_application_info(list, shotUri, "Vexmor", &exec, &count, nullptr, nullptr));
    EXPECT_EQ(QString::fromUtf8(exec), QStringLiteral("vexmor ") + QString::fromUtf8(shotUri));
    EXPECT_EQ(count, 2u);
    g_free(exec);
    EXPECT_EQ(g_date_time_compare(g_bookmark_file_get_added_date_time(list, shotUri, nullptr), old), 0);
    EXPECT_GT(g_date_time_compare(g_bookmark_file_get_modified_date_time(list, shotUri, nullptr), old), 0);
    EXPECT_GT(g_date_time_compare(g_bookmark_file_get_visited_date_time(list, shotUri, nullptr), old), 0);
    g_bookmark_file_free(list);
    g_date_time_unref(old);
    g_free(shotUri);
}

TEST_F(DesktopServices, EditGoesToTheConfiguredEditor) {
    const QString out = dir.filePath("edited");
    const QString editor = Script("myeditor", "echo \"$1|$2\" > '" + out + "'");
    qputenv("VEXMOR_EDITOR", (editor + " --new-window").toLocal8Bit());
    TDesktopShell shell;
    ASSERT_TRUE(shell.EditFile("/tmp/x y.png").ok);
    EXPECT_EQ(ReadWhenThere(out), "--new-window|/tmp/x y.png\n");
    qputenv("VEXMOR_EDITOR", "/nonexistent/editor");
    EXPECT_FALSE(shell.EditFile("/tmp/x.png").ok);
}

TEST_F(DesktopServices, MailReportsMissingHelperAndItsExitStatus) {
    TDesktopShell shell;
    qputenv("PATH", dir.filePath("bin").toLocal8Bit()); // no xdg-email there yet
    EXPECT_EQ(shell.SendMail("s", {"/tmp/a.png"}), -1);
    const QString out = dir.filePath("mail");
    Script("xdg-email", "printf '%s\\n' \"$@\" > '" + out + "'; exit 3");
    EXPECT_EQ(shell.SendMail("报告 1", {"/tmp/a.png", "/tmp/b c.png"}), 3);
    EXPECT_EQ(ReadWhenThere(out),
              "--utf8\n--subject\n报告 1\n--attach\n/tmp/a.png\n--attach\n/tmp/b c.png\n");
    QFile::remove(out);
    EXPECT_EQ(shell.SendMail("s", {}, "body text", "a@b.c", "Li, \"Wei\""), 3);
    EXPECT_EQ(ReadWhenThere(out), "--utf8\n--subject\ns\n--body\nbody text\n\"Li, Wei\" <a@b.c>\n");
}

} // namespace
