// Each record against whole rows of its table, column by column as the shipped schema declares
// them: a record reads what it writes and writes back what it read, byte for byte, codes of
// other versions included. A column the schema gains is either the record's, or named here as
// one the record leaves to others; anything else fails.

#include "ModelTestSupport.h"

#include <QVariantMap>

namespace {

QString Shown(const QVariant& value) {
    return value.isNull() ? QStringLiteral("<null>") : value.toString();
}

struct RecordCase {
    const char* table;
    QVariantMap values;     // columns given a value of their own kind
    QStringList notItsOwn;  // columns the record neither reads nor writes
    QStringList stamped;    // columns an insert sets to the time of the statement
    // Loads the row `id` into a record, then saves it as it is (update) and as a new row;
    // returns the new row's rowid, or -1 when a step failed.
    qint64 (*roundTrip)(qint64 id);
};

qint64 DashboardTrip(qint64 id) {
    clsWorkspace w;
    // A dashboard without panels loads its row and reports that it has none.
    (void)w.LoadFromDB(static_cast<int32_t>(id), gDB.get());
    if (w.ID != id || !w.SaveToDB(gDB.get()))
        return -1;
    w.ID = 0;
    return w.SaveToDB(gDB.get()) ? w.ID : -1;
}

qint64 PanelTrip(qint64 id) {
    clsWorkspacePanel p;
    if (!p.LoadFromDB(static_cast<int32_t>(id), gDB.get()))
        return -1;
    const auto workspace = static_cast<int32_t>(
        gDB->Query(QStringLiteral("SELECT WorkspaceID FROM DsbSavedPanel WHERE ID = ?"), {id})
            ->Number(QStringLiteral("WorkspaceID")));
    if (!p.SaveToDB(gDB.get(), workspace))
        return -1;
    p.ID = 0;
    return p.SaveToDB(gDB.get(), workspace) ? p.ID : -1;
}

qint64 SourceTrip(qint64 id) {
    clsPanelSource s;
    if (!s.LoadFromDB(static_cast<int32_t>(id), gDB.get()) || !s.SaveToDB(gDB.get()))
        return -1;
    s.ID = 0;
    return s.SaveToDB(gDB.get()) ? s.ID : -1;
}

}  // namespace

TEST_F(ModelTest, RecordsKeepEveryColumnOfTheirRowsWhole) {
    const RecordCase cases[] = {
        {"DsbSavedWorkspace",
         {{"ID", 7}},
         {"Template", "Selected", "Status", "Comments", "LastViewed"},
         {"LastUpdated"},
         DashboardTrip},
        {"DsbSavedPanel",
         // Codes no version of this program knows, which another may.
         {{"ID", 8}, {"LastViewed", "2024-02-03 04:05:06"}, {"ContentType", "s"}, {"IsCustom", "yes"},
          {"ViewType", "Fit width"}},
         {"Ndx"},
         {},
         PanelTrip},
        {"DsbPanelSource",
         {{"ID", 9}, {"DestFolder", "/data/dest/"}, {"SourceFolder", "/data/in/"},
          {"LastUpdated", "2024-02-03 04:05:06"}, {"LastChecked", "2024-02-04 05:06:07"}},
         {},
         {"LastUpdated", "LastChecked"},
         SourceTrip},
    };
    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    int seed = 1;
    for (const RecordCase& c : cases) {
        const QString table = QLatin1String(c.table);
        SCOPED_TRACE(table.toStdString());
        const qint64 id = testsupport::InsertEveryColumn(*gDB, table, c.values, seed++);
        const QVariantMap stored = testsupport::WholeRows(*gDB, table).front();
        const qint64 copy = c.roundTrip(id);
        ASSERT_GT(copy, 0);
        const std::vector<QVariantMap> rows = testsupport::WholeRows(*gDB, table);
        ASSERT_EQ(rows.size(), 2u);
        const QVariantMap& updated = rows[0];
        const QVariantMap& inserted = rows[1];
        for (const testsupport::DeclaredColumn& column : testsupport::DeclaredColumns(*gDB, table)) {
            const QString& name = column.name;
            SCOPED_TRACE(name.toStdString());
            if (name == QLatin1String("ID")) {
                EXPECT_EQ(updated.value(name).toLongLong(), id);
                EXPECT_EQ(inserted.value(name).toLongLong(), copy);
            } else if (c.stamped.contains(name)) {
                EXPECT_GE(db::FromStoredDateTime(inserted.value(name).toString()), started)
                    << Shown(inserted.value(name)).toStdString();
                // An update stamps it too, or leaves it to the statements of its own.
                if (updated.value(name) != stored.value(name)) {
                    EXPECT_GE(db::FromStoredDateTime(updated.value(name).toString()), started)
                        << Shown(updated.value(name)).toStdString();
                }
            } else if (c.notItsOwn.contains(name)) {
                EXPECT_EQ(Shown(updated.value(name)), Shown(stored.value(name)));
                EXPECT_EQ(Shown(inserted.value(name)), QStringLiteral("<null>"));
            } else {
                EXPECT_EQ(Shown(updated.value(name)), Shown(stored.value(name)));
                EXPECT_EQ(Shown(inserted.value(name)), Shown(stored.value(name)));
            }
        }
    }
}
