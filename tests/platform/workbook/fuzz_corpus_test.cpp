// Replays the fuzz targets' saved corpus (tests/fuzz/corpus) and the bad fixtures through the
// reader's and the painter's targets: every input is either read and painted or refused with
// xl::Error, never a crash.

#include "../../fuzz/ExercisePainter.h"

#include "WorkbookFixtures.h"

#include <QDir>
#include <QFile>

TEST(FuzzCorpus, EveryInputIsReadOrRefusedCleanly) {
    QStringList files;
    const QDir corpus(QStringLiteral(SB_SOURCE_DIR "/tests/fuzz/corpus"));
    for (const QString& name : corpus.entryList(QDir::Files))
        files << corpus.filePath(name);
    ASSERT_FALSE(files.isEmpty()) << "the saved corpus is missing";
    const QDir bad(fixtures::Bad(QString()));
    for (const QString& name : bad.entryList(QDir::Files))
        if (!name.startsWith(QLatin1String("bomb")))  // those are read in their own test
            files << bad.filePath(name);
    int read = 0;
    for (const QString& path : files) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray input = f.readAll();
        EXPECT_NO_THROW(read += fuzzing::ExerciseReader(input) ? 1 : 0) << path.toStdString();
        EXPECT_NO_THROW((void)fuzzing::ExercisePainter(input)) << path.toStdString();
    }
    EXPECT_GT(read, 0);  // the corpus holds readable workbooks too
}
