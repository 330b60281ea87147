#pragma once
// The tools behind the test fixtures (openpyxl and PIL in the system Python, LibreOffice). A
// test that misses one fails and names the Debian package to install: a test that quietly does
// not run is a test that can't fail.

#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <string>

namespace testsupport {

// "<what> is missing: install the Debian package <package> (scripts/install-deps --test)".
std::string Missing(const std::string& what, const std::string& package);

// Runs tests/fixtures/<script> with the system Python. "" when it ran; otherwise why not: its
// output, and the packages the fixture scripts need.
QString RunFixtureScript(const QString& script, const QStringList& args, int timeoutMs = 180000);

// A temporary folder filled by tests/fixtures/<script> (given the folder), once per test program.
struct ScriptFolder {
    QString path;
    QString why;  // "" when the script made its files; otherwise RunFixtureScript's reason
};
const ScriptFolder& FolderMadeBy(const QString& script);

// soffice on the PATH; "" when LibreOffice is not installed.
QString Soffice();

// A workbook that LibreOffice Calc made itself, driven in its window through UNO
// (tests/fixtures/make_calc_workbooks.py, run by the build).
inline QString CalcMade(const QString& name) { return QStringLiteral(SB_FIXTURE_DIR "/calc/") + name; }

}  // namespace testsupport

// Stops the test with a failure when LibreOffice is missing.
#define ASSERT_SOFFICE()                                                                           \
    ASSERT_FALSE(testsupport::Soffice().isEmpty())                                                 \
        << testsupport::Missing("LibreOffice (soffice)", "libreoffice-calc")

// Runs a fixture script and stops the test with its output when it could not make its files.
#define ASSERT_FIXTURE_SCRIPT(script, ...)                                                         \
    do {                                                                                           \
        const QString why_ = testsupport::RunFixtureScript(script, __VA_ARGS__);                   \
        ASSERT_TRUE(why_.isEmpty()) << why_.toStdString();                                         \
    } while (0)

// Stops the test with a failure when the build could not make a workbook in Calc.
#define ASSERT_CALC_MADE(path)                                                                     \
    ASSERT_TRUE(QFileInfo::exists(path))                                                           \
        << "not made: " << (path).toStdString() << ": the build makes it in LibreOffice Calc's "   \
        << "window; " << testsupport::Missing("LibreOffice Calc with Xvfb and its Python bridge",  \
                                              "libreoffice-calc xvfb python3-uno")
