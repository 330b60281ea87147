// LibreOffice Calc in its window as the oracle of how charts look: charts Calc inserts itself
// (column, line, pie, scatter, bars, a smoothed line, a doughnut, markers only; styles varied),
// each shown in Calc's window at 100 % on an X server of the check's own, grabbed, and compared
// with the program's picture of it by its elements (chart_fidelity.py says which and with what
// tolerances). The figures of every chart go to the test's output; the pictures side by side to
// build/Testing/fidelity/charts.

#include "Desktop.h"

#include "FixtureTools.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <iostream>

TEST(ChartFidelity, ChartsInsertedByCalcLookAsCalcShowsThem) {
    const std::string missing = journey::MissingTool();
    ASSERT_TRUE(missing.empty()) << missing;
    {
        // The check drives Calc over UNO and reads pictures with PIL, in Debian's Python.
        QProcess probe;
        probe.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import uno")});
        ASSERT_TRUE(probe.waitForFinished(60000) && probe.exitCode() == 0) << testsupport::Missing("python3 uno", "python3-uno");
        probe.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import PIL")});
        ASSERT_TRUE(probe.waitForFinished(60000) && probe.exitCode() == 0) << testsupport::Missing("python3 PIL", "python3-pil");
    }
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    QProcess check;
    check.setProcessChannelMode(QProcess::SeparateChannels);
    check.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(SB_SOURCE_DIR "/tests/journeys/chart_fidelity.py"), work.path(),
                 QStringLiteral(SB_BINARY_DIR "/tools/render-range")});
    ASSERT_TRUE(check.waitForStarted(60000));
    const bool finished = check.waitForFinished(1500 * 1000);
    if (!finished)
        check.kill();
    const QByteArray out = check.readAllStandardOutput(), err = check.readAllStandardError();
    ASSERT_TRUE(finished && check.exitCode() == 0) << "the check did not run through:\n" << err.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(out).object();
    const QJsonArray charts = report.value(QStringLiteral("charts")).toArray();
    ASSERT_EQ(charts.size(), 8) << out.toStdString();

    // The pictures stay for whoever reads the figures.
    const QString evidence = QStringLiteral(SB_BINARY_DIR "/Testing/fidelity/charts");
    QDir(evidence).removeRecursively();
    QDir().mkpath(evidence);
    for (const QFileInfo& f : QDir(work.filePath(QStringLiteral("evidence"))).entryInfoList(QDir::Files))
        QFile::copy(f.absoluteFilePath(), evidence + QLatin1Char('/') + f.fileName());

    std::cout << "tolerances: "
              << QJsonDocument(report.value(QStringLiteral("tolerances")).toObject()).toJson(QJsonDocument::Compact).toStdString()
              << "\n";
    for (const QJsonValue& v : charts) {
        const QJsonObject chart = v.toObject();
        const std::string name = chart.value(QStringLiteral("workbook")).toString().toStdString() + " #" +
                                 std::to_string(chart.value(QStringLiteral("chart")).toInt()) + " (" +
                                 chart.value(QStringLiteral("kind")).toString().toStdString() + ")";
        std::cout << name << ": "
                  << QJsonDocument(chart.value(QStringLiteral("figures")).toObject()).toJson(QJsonDocument::Compact).toStdString()
                  << "\n";
        for (const QJsonValue& finding : chart.value(QStringLiteral("findings")).toArray())
            ADD_FAILURE() << name << ": " << finding.toString().toStdString() << "\n  see " << evidence.toStdString();
    }
}
