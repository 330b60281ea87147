#pragma once
// One user journey on a desktop of its own: LibreOffice Calc in its window (a private profile,
// workbooks written by openpyxl and saved by LibreOffice) and the real Sheetbeacon from a
// program folder of its own, both driven with keys and mouse through the X server, and the
// outcome checked on the screen, in the repository file and in the picture cache.
//
// Every wait polls with a deadline. A step that runs out of time fails the journey, leaving a
// screenshot (its path is in the failure) and the program's log in the test's output.

#include "Desktop.h"

#include "platform/database/Database.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QImage>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <utility>

// Twips per pixel at the 96 dots per inch of the journeys' screen.
constexpr int kTwipsPerPixel = 15;

class Journey : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Polls `done` until it holds; after `seconds` the journey fails with a screenshot and the
    // program's log, and the step answers false.
    [[nodiscard]] bool Step(const QString& what, int seconds, const std::function<bool()>& done);
    // Fails the journey at once, with the same evidence.
    void Fail(const QString& what);

    QString Work(const QString& name) const;  // the user's workbooks and folders
    QString Home() const;                     // the home folder the programs run with
    // A workbook that Calc made itself at build time (tests/fixtures/make_calc_workbooks.py),
    // copied into Work(); "" with a failure when the build could not make it.
    QString CalcMadeWorkbook(const QString& name);
    // Keeps the screen as it is now beside the journey's other evidence, as <name>.png.
    void Screenshot(const QString& name);
    // The openpyxl workbooks of the journeys, each saved again by LibreOffice, into Work().
    [[nodiscard]] bool MakeWorkbooks();
    // A workbook saved again by LibreOffice (headless, the same private profile).
    [[nodiscard]] bool SaveWithLibreOffice(const QString& source, const QString& target);
    // Each (source, target) saved again so, all in one LibreOffice start.
    [[nodiscard]] bool SaveWithLibreOffice(const QList<std::pair<QString, QString>>& copies);

    // --- LibreOffice Calc, as the user's spreadsheet -------------------------------------
    [[nodiscard]] bool StartCalc(const QString& workbook);
    [[nodiscard]] bool QuitCalc();
    // Selects `reference` ("A1:D6", "Wide.A1:AD3") through the Name Box and copies it; waits
    // until the clipboard offers the link to those cells.
    [[nodiscard]] bool CopyCells(const QString& reference, const QString& linkItem);
    // Clicks the chart (the first pixel of `color` from the top of Calc's window: the journey
    // workbooks' magenta bars, unless told otherwise) and copies it; waits for the chart on the
    // clipboard.
    [[nodiscard]] bool CopyChart(QRgb color = 0xFF00FF);
    // Types `text` into `cell` and saves the workbook; waits until the file on disk holds it.
    [[nodiscard]] bool EditAndSave(const QString& workbook, const QString& sheet, const QString& cell,
                                   const QString& text);

    // --- Sheetbeacon -------------------------------------------------------------------------
    [[nodiscard]] bool StartProgram();
    QString ProgramFolder() const;
    // Opens a menu of the main window by its letter and moves in it with the keys given, then
    // presses Return. A menu opened from the keyboard starts on its first item.
    [[nodiscard]] bool Menu(const QString& letter, const QStringList& moves);
    // Opens the menu and takes its picture (the part of the main window that changed), then
    // closes it again.
    QImage MenuPicture(const QString& letter);
    // Dashboard > Paste: the third item from the bottom, whatever is enabled above it.
    [[nodiscard]] bool Paste();
    // Dashboard > Save, the dashboard named `name` in the question that asks for it.
    [[nodiscard]] bool SaveDashboard(const QString& name);
    // Dashboard > Refresh.
    [[nodiscard]] bool RefreshDashboard();
    // Waits for a window whose title matches, and answers it with `keys`.
    [[nodiscard]] bool Answer(const QString& titlePattern, const QStringList& keys, const QString& text = QString());
    // Right-clicks the dashboard background at `at` (main window coordinates), so that the next
    // pasted panel lands there, and closes the menu that opens.
    [[nodiscard]] bool RightClickBackground(const QPoint& at);
    QRect MainWindow() const;

    // The picture the program's painter makes for a range or chart of a workbook, painted on
    // this display as the program paints it.
    QImage Render(const QString& workbook, const QString& sheet, const QString& what);
    // Waits until `picture` shows on the screen, whole; its place on the screen.
    std::optional<QRect> WaitOnScreen(const QString& what, const QImage& picture, int seconds = 120);
    // The repository file of the program folder, opened with the project's database layer.
    std::unique_ptr<db::Database> Repository() const;
    qint64 Number(const QString& sql, const QVariantList& params = {}) const;
    QString Text(const QString& sql, const QVariantList& params = {}) const;
    QString CachePath(qint64 panelID) const;
    // The documents the program asked the desktop to open, in order.
    QStringList OpenedDocuments() const;

    journey::Desktop desk_;

private:
    // Opens a menu of the main window; the screen area it covers.
    std::optional<QRect> OpenMenu(const QString& letter);
    QString LogTail() const;
    QProcessEnvironment CalcEnvironment() const;
    QProcessEnvironment ProgramEnvironment() const;

    QTemporaryDir root_;
    QString evidence_;
    int shots_ = 0;
    journey::Process calc_;
    journey::Process program_;
    QString calcWindow_;
    QString mainWindow_;
};
