#pragma once
// What the fuzz target and the corpus replay do with one input: read it as a workbook and,
// when it reads, walk everything the painter and the relocation will touch. Any failure must
// be an xl::Error; anything else (a crash, a hang, another exception) is a bug.

#include "SyntheticPackage.h"

#include "platform/workbook/Workbook.h"

#include <QByteArray>

namespace fuzzing {

// Walks one sheet as the painter and the relocation do.
inline void ExerciseSheet(xl::Workbook& book, xl::Worksheet* ws) {
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

// Walks every sheet, shape and chart of a workbook read; true when every one of them was read,
// false when any was refused with xl::Error (the others are walked all the same).
inline bool ExerciseWorkbook(const std::shared_ptr<const xl::WorkbookData>& data) {
    xl::Application app;
    xl::Workbook book(&app, data, QStringLiteral("/fuzz/fuzz.xlsx"));
    bool all = true;
    for (int i = 1; i <= book.Sheets().Count(); ++i) {
        try {
            ExerciseSheet(book, book.Sheets().Item(i));
        } catch (const xl::Error&) {
            all = false;
        }
    }
    return all;
}

// True when the input was read as a workbook, false when refused with xl::Error (at once, or
// when a part read on first use is reached). A zip is read as it is; anything else is one XML
// part of a synthetic workbook (SyntheticPackage.h).
inline bool ExerciseReader(const QByteArray& input) {
    try {
        return ExerciseWorkbook(xl::ReadWorkbookBytes(WorkbookBytesFor(input), QStringLiteral("fuzz.xlsx")));
    } catch (const xl::Error&) {
        return false;
    }
}

}  // namespace fuzzing
