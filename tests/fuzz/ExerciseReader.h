#pragma once
// What the fuzz target and the corpus replay do with one input: read it as a workbook and,
// when it reads, walk everything the painter and the relocation will touch. Any failure must
// be an xl::Error; anything else (a crash, a hang, another exception) is a bug.

#include "SyntheticPackage.h"

#include "platform/workbook/Workbook.h"

#include <QByteArray>

namespace fuzzing {

// True when the input was read as a workbook, false when refused with xl::Error. A zip is
// read as it is; anything else is one XML part of a synthetic workbook (SyntheticPackage.h).
inline bool ExerciseReader(const QByteArray& input) {
    std::shared_ptr<const xl::WorkbookData> data;
    try {
        data = xl::ReadWorkbookBytes(WorkbookBytesFor(input), QStringLiteral("fuzz.xlsx"));
    } catch (const xl::Error&) {
        return false;
    }
    xl::Application app;
    xl::Workbook book(&app, data, QStringLiteral("/fuzz/fuzz.xlsx"));
    for (int i = 1; i <= book.Sheets().Count(); ++i) {
        xl::Worksheet* ws = book.Sheets().Item(i);
        ws->Activate();
        const xl::Range used = ws->UsedRange();
        (void)ws->Cells().Find(QStringLiteral("*"), std::nullopt, xl::xlValues, xl::xlPart,
                               xl::xlByColumns, xl::xlPrevious);
        (void)ws->Cells().Find(QStringLiteral("a?c*"), std::nullopt, xl::xlValues, xl::xlWhole);
        const xl::RangeRef& r = used.Ref();
        for (int32_t row = r.row1; row <= std::min(r.row2, r.row1 + 20); ++row) {
            (void)ws->RowHeight(row);
            for (int32_t col = r.col1; col <= std::min(r.col2, r.col1 + 20); ++col) {
                (void)ws->DisplayText(row, col);
                (void)ws->Range(xl::CellAddress(row, col)).GetInterior().Color();
                (void)ws->Range(xl::CellAddress(row, col)).MergeArea();
                (void)ws->ColumnWidth(col);
            }
        }
        for (xl::Shape* s : ws->Shapes().All()) {
            (void)s->Left();
            (void)s->Top();
            (void)s->Width();
            (void)s->Height();
            if (const xl::ChartData* c = s->Chart())
                (void)c->KindName();
        }
        for (const xl::Pane& p : book.ActiveWindow()->Panes())
            (void)p.VisibleRange().Address();
        (void)book.ActiveWindow()->RangeSelection().Address();
    }
    return true;
}

}  // namespace fuzzing
