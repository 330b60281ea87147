// make-repository [--keep-existing] <schema.sql> <target>
// Makes an empty repository keyed with the program's database password from a schema script.
// With --keep-existing an existing target is left untouched: it may hold the user's dashboards.

#include "platform/database/Database.h"
#include "services/modUtilsRepository.h"
#include "services/modUtilsSQL.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char* argv[]) {
    bool keepExisting = false;
    int first = 1;
    if (argc > 1 && QByteArray(argv[1]) == "--keep-existing") {
        keepExisting = true;
        first = 2;
    }
    if (argc - first != 2) {
        std::fprintf(stderr, "usage: make-repository [--keep-existing] <schema.sql> <target>\n");
        return 2;
    }
    const QString schemaPath = QFile::decodeName(argv[first]);
    const QString target = QFile::decodeName(argv[first + 1]);
    if (QFileInfo::exists(target)) {
        if (keepExisting)
            return 0;
        std::fprintf(stderr, "make-repository: %s exists\n", argv[first + 1]);
        return 1;
    }
    QFile schema(schemaPath);
    if (!schema.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "make-repository: cannot read %s\n", argv[first]);
        return 1;
    }
    const QString partial = target + QStringLiteral(".part");
    QFile::remove(partial);
    try {
        auto repository = db::Database::Create(partial, DatabaseKey(kConnectString));
        repository->ExecuteScript(QString::fromUtf8(schema.readAll()));
        repository->SetUserVersion(RepositoryVersionStamp());
    } catch (const db::Error& e) {
        QFile::remove(partial);
        std::fprintf(stderr, "make-repository: %s\n", qPrintable(e.message()));
        return 1;
    }
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        std::fprintf(stderr, "make-repository: cannot write %s\n", argv[first + 1]);
        return 1;
    }
    return 0;
}
