#pragma once
// A program folder with a fresh repository and an empty source registry, and direct reads and
// writes of the repository that go around the classes under test.

#include "FixtureTools.h"
#include "RepositoryReads.h"
#include "TestSupport.h"

#include "model/Globals.h"
#include "services/modMain.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

using testsupport::Scalar;
using testsupport::TextOf;

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
    // The whole repository, for comparing it before and after.
    static QStringList Dump() { return testsupport::Dump(*gDB); }
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
