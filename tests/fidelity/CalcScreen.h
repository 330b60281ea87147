#pragma once
// LibreOffice Calc in its window, as the oracle of how a picture must look: an X server of its
// own at 96 dpi with openbox, one Calc (a private profile) that stays up for the whole test
// program, and a small Python bridge (calc_bridge.py) that drives Calc over UNO. Calc starts
// slowly, so a test program starts it once (`Shared()`), and every check asks it in turn:
//
//   fidelity::CalcScreen& calc = fidelity::CalcScreen::Shared();
//   ASSERT_TRUE(calc.Ready()) << calc.Why();
//   QStringList files = calc.MakeWorkbooks("calc_harness_workbooks.py", folder, &why);
//   std::optional<fidelity::ShownRange> shown = calc.ShowRange(files[0], "Grid", "B2:G6", &why);
//   QImage ours = calc.Render(files[0], "Grid", "B2:G6", &why);
//
// Other checks ask Calc more through `Ask` with a "call" request to a Python module of their
// own (see calc_bridge.py), and grab what they need with `Settled`.

#include "../journeys/Desktop.h"

#include <QImage>
#include <QJsonObject>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QProcess;
class QTemporaryDir;

namespace fidelity {

// A range as Calc's window shows it. Positions follow the engine's pictures: `cols[0]` is the
// line before the range's first column, `cols[i + 1]` the line after column i (Calc draws a
// cell's grid line on its own right and bottom edge), all from the left of `area`; a hidden
// column adds nothing. `rows` likewise.
struct ShownRange {
    QRect area;  // on the screen: the line before the first column and row to the far edges
    std::vector<int> cols, rows;
    // False when the range starts at the pane's first column (row): Calc then shows the
    // header's edge there, not a grid line of the sheet.
    bool leftLineIsGrid = true, topLineIsGrid = true;
    QImage picture;  // the screen inside `area`, settled
};

class CalcScreen {
public:
    // The one Calc of this test program, started on first use and ended when the program ends.
    static CalcScreen& Shared();
    ~CalcScreen();

    bool Ready() const { return why_.isEmpty(); }
    QString Why() const { return why_; }  // why Calc is not ready: a missing tool names its package
    QString Folder(const QString& name) const;  // a folder in this program's temporary space
    const journey::Desktop& Desk() const { return desk_; }

    // One request to the bridge and its answer; nothing after a failure, with the reason.
    std::optional<QJsonObject> Ask(const QJsonObject& request, QString* why, int seconds = 300);
    // The workbooks tests/fidelity/<script> builds in Calc and saves into `folder`.
    QStringList MakeWorkbooks(const QString& script, const QString& folder, QString* why);
    // Opens `workbook` in Calc's window at 100 % with `range` of `sheet` at the top left of its
    // pane, and reads where its columns and rows are.
    std::optional<ShownRange> ShowRange(const QString& workbook, const QString& sheet,
                                        const QString& range, QString* why);
    // The screen inside `area` once it looks the same twice in a row (Calc paints in steps).
    QImage Settled(const QRect& area, int seconds = 60) const;
    // The engine's picture of a range or chart as `render-range` paints it on this display.
    QImage Render(const QString& workbook, const QString& sheet, const QString& what, QString* why) const;
    // Where evidence goes: build/Testing/fidelity.
    static QString EvidenceFolder();

private:
    CalcScreen();
    bool Start();
    void Stop();

    QString why_;
    std::unique_ptr<QTemporaryDir> root_;
    journey::Desktop desk_;
    journey::Process calc_;
    std::unique_ptr<QProcess> bridge_;
};

}  // namespace fidelity
