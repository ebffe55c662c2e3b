#include "DesktopServices.h"

#include <QDir>
#include <QDomDocument>
#include <QUrl>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// Each test gets private XDG folders and PATH entries.
class DesktopServices : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "PATH", "VEXMOR_EDITOR"}) saved[v] = qgetenv(v);
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
        qunsetenv("VEXMOR_EDITOR");
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) qputenv(name.c_str(), value);
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
    EXPECT_TRUE(autostart.SetEnabled(program, false).ok);  // deleting an absent entry is fine
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

TEST_F(DesktopServices, RecentListGainsOneBookmarkPerFileAndKeepsOthers) {
    QDir().mkpath(dir.filePath("data"));
    {
        QFile list(TDesktopShell::RecentFilesPath());
        list.open(QIODevice::WriteOnly);
        list.write("<?xml version=\"1.0\"?>\n<xbel version=\"1.0\" "
                   "xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\">"
                   "<bookmark href=\"file:///other.txt\" added=\"x\"/></xbel>\n");
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

TEST_F(DesktopServices, UnreadableRecentListIsStartedAfresh) {
    QDir().mkpath(dir.filePath("data"));
    QFile list(TDesktopShell::RecentFilesPath());
    list.open(QIODevice::WriteOnly);
    list.write("<xbel><bookmark");
    list.close();
    TDesktopShell shell;
    ASSERT_TRUE(shell.AddRecentDocument(dir.filePath("a.jpg")).ok);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(&list));
    EXPECT_EQ(doc.elementsByTagName("bookmark").size(), 1);
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
    qputenv("PATH", dir.filePath("bin").toLocal8Bit());  // no xdg-email there yet
    EXPECT_EQ(shell.SendMail("s", {"/tmp/a.png"}), -1);
    const QString out = dir.filePath("mail");
    Script("xdg-email", "printf '%s\\n' \"$@\" > '" + out + "'; exit 3");
    EXPECT_EQ(shell.SendMail("报告 1", {"/tmp/a.png", "/tmp/b c.png"}), 3);
    EXPECT_EQ(ReadWhenThere(out), "--utf8\n--subject\n报告 1\n--attach\n/tmp/a.png\n--attach\n/tmp/b c.png\n");
    QFile::remove(out);
    EXPECT_EQ(shell.SendMail("s", {}, "body text", "a@b.c", "Li, \"Wei\""), 3);
    EXPECT_EQ(ReadWhenThere(out), "--utf8\n--subject\ns\n--body\nbody text\n\"Li, Wei\" <a@b.c>\n");
}

} // namespace
