#pragma once
// What every test stands on: a temporary program folder, scripted message boxes and dialogs,
// a fresh log, and real repository files made from the shipped schema.

#include "platform/database/Database.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

QString ReadText(const QString& path);
void WriteText(const QString& path, const QString& text);
// A file's bytes; a file that can't be read fails the test and gives no bytes.
QByteArray ReadBytes(const QString& path);
// Writes `bytes` to `path` whole, or throws (which fails the test).
void WriteBytes(const QString& path, const QByteArray& bytes);
QString SchemaPath();
// A small whole zip holding `content` as its one entry, "version": a version of a source for
// the tests where only its being a whole file counts, not what a workbook shows.
QByteArray ZipHolding(const QByteArray& content);
// The content of such a zip's entry; "<not a whole zip>" for anything else.
QByteArray HeldInZip(const QByteArray& zip);
// Makes a keyed repository with the program's tables at `path`.
void MakeRepository(const QString& path);
// Makes a keyed log database with its table at `path`.
void MakeLogDatabase(const QString& path);

// Sets the PATH for one test (a folder of stand-in programs first, say) and restores it after.
class PathGuard {
public:
    explicit PathGuard(const QString& path) : old_(qgetenv("PATH")) { qputenv("PATH", path.toLocal8Bit()); }
    ~PathGuard() { qputenv("PATH", old_); }
    PathGuard(const PathGuard&) = delete;
    PathGuard& operator=(const PathGuard&) = delete;

private:
    QByteArray old_;
};

// Gives one test a home folder of its own (the documents folder and the desktop's settings are
// found from it) and restores the real one after.
class HomeGuard {
public:
    explicit HomeGuard(const QString& home)
        : oldHome_(qgetenv("HOME")), oldConfig_(qgetenv("XDG_CONFIG_HOME")), hadConfig_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
        qputenv("HOME", home.toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
    }
    ~HomeGuard() {
        qputenv("HOME", oldHome_);
        if (hadConfig_)
            qputenv("XDG_CONFIG_HOME", oldConfig_);
    }
    HomeGuard(const HomeGuard&) = delete;
    HomeGuard& operator=(const HomeGuard&) = delete;

private:
    QByteArray oldHome_, oldConfig_;
    bool hadConfig_;
};

// Writes an executable script: a stand-in for a program the code under test starts.
void WriteScript(const QString& path, const QByteArray& text);

}  // namespace testsupport

// A test case with its own program folder. Message boxes and dialogs are scripted; the log is
// forgotten before and after.
class ProgramFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QString Folder() const { return dir_.path(); }
    QString InFolder(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
    QString LogText() const;
    // Opens the log and the repository as start-up does, with a new empty repository.
    void StartWithRepository();

private:
    QTemporaryDir dir_;
};
