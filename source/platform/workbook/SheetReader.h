#pragma once
// Reading one sheet's part, the first time the sheet is needed.

#include "platform/workbook/WorkbookData.h"

namespace xl {

// The sheet `entry` of `book`: its cells, sizes, views, merged cells and drawing. Throws
// xl::Error with the bare reason when its part can't be read.
SheetData ReadSheet(const WorkbookData& book, const SheetEntry& entry);

}  // namespace xl
