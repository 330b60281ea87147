// The one list of the repository's tables and columns against the schema the build ships: a
// column added or dropped in one of them and not the other fails here, and the file check
// asks for every column of the list.

#include "RepositoryReads.h"
#include "TestSupport.h"

#include "services/DashboardFileCheck.h"
#include "services/RepositoryTables.h"
#include "services/modUtilsSQL.h"

#include <QSet>

namespace {

QStringList NamesOf(const std::vector<testsupport::DeclaredColumn>& columns) {
    QStringList names;
    for (const testsupport::DeclaredColumn& column : columns)
        names << column.name;
    return names;
}

}  // namespace

TEST_F(ProgramFolderTest, TheTableListIsTheShippedSchema) {
    testsupport::MakeRepository(InFolder("schema.pvdu"));
    auto d = db::Database::Open(InFolder("schema.pvdu"), DatabaseKey(kConnectString));

    QSet<QString> inSchema, inList;
    for (const QString& table : d->TableNames())
        if (table != QLatin1String("sqlite_sequence"))
            inSchema.insert(table);
    for (const RepositoryTable& table : RepositoryTables()) {
        inList.insert(table.name);
        SCOPED_TRACE(table.name.toStdString());
        EXPECT_EQ(NamesOf(testsupport::DeclaredColumns(*d, table.name)), table.columns);
        EXPECT_EQ(RepositoryColumns(table.name), table.columns);
        for (const QString& key : table.keys)
            EXPECT_TRUE(table.columns.contains(key)) << key.toStdString();
    }
    EXPECT_EQ(inList, inSchema);
    EXPECT_EQ(RepositoryColumns("DsbSavedPanel", {"id", "WORKSPACEID", "SourceID"}).first(), "Ndx");
    EXPECT_EQ(RepositoryColumns("NoSuchTable"), QStringList{});

    // The file checks ask for every column: a file without any one of them is refused, by
    // name, as a repository and, where an import reads the table, as a shared file.
    EXPECT_EQ(UnreadableReason(*d, DashboardFileKind::Repository), QString());
    for (const RepositoryTable& table : RepositoryTables()) {
        const auto declared = testsupport::DeclaredColumns(*d, table.name);
        for (const testsupport::DeclaredColumn& dropped : declared) {
            SCOPED_TRACE((table.name + "." + dropped.name).toStdString());
            QStringList kept;
            for (const testsupport::DeclaredColumn& column : declared)
                if (column.name != dropped.name)
                    kept << db::QuoteIdentifier(column.name) + " " + column.type;
            d->Execute(QStringLiteral("ALTER TABLE %1 RENAME TO Whole").arg(table.name));
            d->Execute(QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, kept.join(", ")));
            const QString lacks = "it lacks " + table.name + "." + dropped.name;
            EXPECT_EQ(UnreadableReason(*d, DashboardFileKind::Repository), lacks);
            EXPECT_EQ(UnreadableReason(*d, DashboardFileKind::Shared), table.shared ? lacks : QString());
            d->Execute(QStringLiteral("DROP TABLE %1").arg(table.name));
            d->Execute(QStringLiteral("ALTER TABLE Whole RENAME TO %1").arg(table.name));
        }
    }
}
