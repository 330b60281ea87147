#include "TestSupport.h"

#include "../fuzz/SyntheticPackage.h"
#include "platform/workbook/Error.h"
#include "platform/workbook/ZipArchive.h"
#include "services/App.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsRepository.h"
#include "services/modUtilsSQL.h"

#include <QFile>

namespace testsupport {

QString ReadText(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

void WriteText(const QString& path, const QString& text) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());
    f.write(text.toUtf8());
}

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return QByteArray();
    }
    return f.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

void WriteScript(const QString& path, const QByteArray& text) {
    WriteBytes(path, text);
    if (!QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        throw std::runtime_error("cannot make " + path.toStdString() + " executable");
}

QByteArray ZipHolding(const QByteArray& content) { return fuzzing::ZipOf({{"version", content}}); }

QByteArray HeldInZip(const QByteArray& zip) {
    try {
        const auto source = xl::ZipSource::InMemory(zip);
        const std::vector<xl::StoredEntry> entries = xl::ReadZipDirectory(*source, 10);
        if (entries.size() == 1)
            return xl::InflateEntry(*source, entries.front());
    } catch (const xl::Error&) {}
    return QByteArrayLiteral("<not a whole zip>");
}

QString SchemaPath() { return QStringLiteral(SB_SOURCE_DIR "/resources/schema.sql"); }

static void MakeFromScript(const QString& path, const QString& script) {
    auto database = db::Database::Create(path, DatabaseKey(kConnectString));
    database->ExecuteScript(ReadText(script));
}

void MakeRepository(const QString& path) { MakeFromScript(path, SchemaPath()); }

void MakeLogDatabase(const QString& path) {
    MakeFromScript(path, QStringLiteral(SB_SOURCE_DIR "/resources/logdb.sql"));
}

}  // namespace testsupport

void ProgramFolderTest::SetUp() {
    ASSERT_TRUE(dir_.isValid());
    App::SetPath(dir_.path());
    PromptScript::Enable();
    PromptScript::Reset();
    ResetLog();
}

void ProgramFolderTest::TearDown() {
    gDB.reset();
    ResetLog();
    PromptScript::Reset();
    App::SetPath(QString());
}

QString ProgramFolderTest::LogText() const { return testsupport::ReadText(GetLogFile()); }

void ProgramFolderTest::StartWithRepository() {
    testsupport::MakeRepository(GetRepositoryFile());
    InitLog(GetLogFile(), false, false);
    ASSERT_TRUE(InitRepository(gDB, GetRepositoryFile()));
}
