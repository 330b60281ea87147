#include "Payloads.h"

#include "FixtureTools.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace payloads {

QString Folder() { return QStringLiteral(SB_SOURCE_DIR "/tests/platform/desktop/payloads"); }

namespace {

// The capture wrote one file per target under this name (see payloads/README.md).
QString FileName(const QString& target) {
    QString name = target;
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return name.left(80) + QStringLiteral(".bin");
}

}  // namespace

QStringList Targets(const QString& caseName) {
    QFile f(Folder() + QLatin1Char('/') + caseName + QStringLiteral("/targets.txt"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << caseName.toStdString();
    QStringList out;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.isEmpty())
            out << QString::fromUtf8(line);
    return out;
}

QByteArray Bytes(const QString& caseName, const QString& target) {
    QFile f(Folder() + QLatin1Char('/') + caseName + QLatin1Char('/') + FileName(target));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::unique_ptr<QMimeData> Load(const QString& caseName, const Rewrites& rewrites) {
    auto data = std::make_unique<QMimeData>();
    int loaded = 0;
    for (const QString& target : Targets(caseName)) {
        QFile f(Folder() + QLatin1Char('/') + caseName + QLatin1Char('/') + FileName(target));
        if (!f.open(QIODevice::ReadOnly))
            continue;  // left out of the capture (README): an X pixmap id, oversized bitmaps
        QByteArray bytes = f.readAll();
        QByteArray name = target.toUtf8();
        for (const auto& [from, to] : rewrites) {
            bytes.replace(from, to);
            name.replace(from, to);
        }
        data->setData(QString::fromUtf8(name), bytes);
        ++loaded;
    }
    EXPECT_GT(loaded, 0) << caseName.toStdString();
    return data;
}

std::unique_ptr<QMimeData> LoadIn(const QString& caseName, const QString& folder) {
    return Load(caseName, {{kCaptureFolder, QFile::encodeName(folder)}});
}

void MakeWorkbooks(const QString& folder) {
    ASSERT_FIXTURE_SCRIPT(QStringLiteral("clipboard_workbooks.py"), {folder});
    ASSERT_TRUE(QFile::exists(folder + QStringLiteral("/Sales.xlsx")));
}

}  // namespace payloads
