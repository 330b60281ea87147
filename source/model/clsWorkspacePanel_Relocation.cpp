// TEMPORARY: range relocation is being written separately and replaces this whole file. Until
// then a newer workbook leaves every panel's stored range where it was, which is what a failed
// relocation does too, so the update pass can already be wired to it.

#include "model/clsWorkspacePanel.h"

void clsWorkspacePanel::AdjustAll(xl::Worksheet* /*ws*/) {}

void clsWorkspacePanel::GetAdjRange(xl::Worksheet* /*WSheet*/) {
    // The range stays in place: the stored range is the part of PicRange before its first
    // back-quote.
    movRange = PicRange.section(QLatin1Char('`'), 0, 0);
    pAdjMovRange = movRange;
}
