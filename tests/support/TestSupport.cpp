#include "TestSupport.h"

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

std::vector<DeclaredColumn> DeclaredColumns(db::Database& d, const QString& table) {
    std::vector<DeclaredColumn> columns;
    for (auto rs = d.Query(QStringLiteral("PRAGMA table_info(%1)").arg(db::QuoteIdentifier(table)));
         !rs->EOF_(); rs->MoveNext())
        columns.push_back({rs->Text(QStringLiteral("name")), rs->Text(QStringLiteral("type")).toUpper()});
    return columns;
}

qint64 InsertEveryColumn(db::Database& d, const QString& table, const QVariantMap& values, int seed) {
    QStringList names, marks;
    QVariantList row;
    int n = 0;
    for (const DeclaredColumn& column : DeclaredColumns(d, table)) {
        ++n;
        names << db::QuoteIdentifier(column.name);
        marks << QStringLiteral("?");
        QVariant value;
        for (auto it = values.begin(); it != values.end(); ++it)
            if (it.key().compare(column.name, Qt::CaseInsensitive) == 0)
                value = it.value();
        if (!value.isValid())
            value = column.type.startsWith(QLatin1String("INT"))
                        ? QVariant(qint64(seed) * 1000 + n)
                        : QVariant(column.name + QStringLiteral(" %1 O'Dörr").arg(seed));
        row << value;
    }
    d.Execute(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(db::QuoteIdentifier(table), names.join(QStringLiteral(", ")),
                       marks.join(QStringLiteral(", "))),
              row);
    return d.LastInsertId();
}

std::vector<QVariantMap> WholeRows(db::Database& d, const QString& table) {
    std::vector<QVariantMap> rows;
    for (auto rs = d.Query(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(db::QuoteIdentifier(table)));
         !rs->EOF_(); rs->MoveNext()) {
        QVariantMap row;
        for (int i = 0; i < rs->Columns().size(); ++i)
            row.insert(rs->Columns()[i], rs->Field(i));
        rows.push_back(row);
    }
    return rows;
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
