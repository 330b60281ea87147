#pragma once
// A program folder with a fresh repository and an empty source registry, and direct reads and
// writes of the repository that go around the classes under test.

#include "FixtureTools.h"
#include "TestSupport.h"

#include "model/Globals.h"
#include "services/modMain.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

class ModelTest : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        StartWithRepository();
        gSources = std::make_unique<clsSources>();
        gWorkspace = std::make_unique<clsWorkspace>();
    }
    void TearDown() override {
        gWorkspace.reset();
        gSources.reset();
        ProgramFolderTest::TearDown();
    }

    static void Exec(const QString& sql, const QVariantList& params = {}) {
        gDB->Execute(sql, params);
    }
    static qint64 Scalar(const QString& sql, const QVariantList& params = {}) {
        auto rs = gDB->Query(sql, params);
        return rs->EOF_() ? -1 : rs->Field(0).toLongLong();
    }
    static QString TextOf(const QString& sql, const QVariantList& params = {}) {
        auto rs = gDB->Query(sql, params);
        return rs->EOF_() ? QStringLiteral("<no row>") : rs->Field(0).toString();
    }
    // Every row of the model's three tables, for comparing the repository before and after.
    static QStringList Dump() {
        QStringList lines;
        for (const char* table : {"DsbSavedWorkspace", "DsbSavedPanel", "DsbPanelSource"}) {
            auto rs = gDB->Query(
                QStringLiteral("SELECT * FROM %1 ORDER BY ID").arg(QLatin1String(table)));
            for (; !rs->EOF_(); rs->MoveNext()) {
                QStringList fields;
                for (int i = 0; i < rs->Columns().size(); ++i)
                    fields << rs->Field(i).toString();
                lines << QLatin1String(table) + QLatin1Char('|') + fields.join(QLatin1Char('|'));
            }
        }
        return lines;
    }
    // A cached picture, as the panel window leaves it.
    static QString MakePicture(int32_t panelID) {
        const QString path = PanelPicturePath(panelID);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
        f.write("BM");
        return path;
    }
    QString MakeWorkbookFile(const QString& name) {
        const QString path = InFolder(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
        f.write("PK");
        return path;
    }
};
