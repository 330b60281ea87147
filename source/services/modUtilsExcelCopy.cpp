#include "services/modUtilsExcel.h"

#include "services/modUtilsLog.h"

bool CopyOpenWorkbook(xl::Workbook* WB, const QString& TargetPath) {
    xl::Workbook* copy = nullptr;
    try {
        if (!WB)
            throw xl::Error(QStringLiteral("Object variable or With block variable not set"));
        // The chart the user had selected is selected again once the copy is made.
        QString chartName;
        if (xl::Window* window = WB->ActiveWindow())
            if (xl::Shape* chart = window->ActiveChart())
                chartName = chart->Name();
        xl::Worksheet* activeSheet = WB->ActiveSheet();

        copy = WB->Sheets().Copy();
        // No deleting of the old target first: SaveAs replaces it only once the copy is
        // written whole, so a failed save leaves the old file as it was.
        copy->SaveAs(TargetPath);
        copy->Close();
        copy = nullptr;

        if (!chartName.isEmpty() && activeSheet)
            if (xl::Shape* chart = activeSheet->Shapes().Find(chartName))
                chart->Select();
        return true;
    } catch (const std::exception& e) {
        if (copy)
            copy->Close();
        LogError(QStringLiteral("modUtilsExcel"), QStringLiteral("CopyOpenWorkbook"), ErrNum::kGeneral,
                 QString::fromStdString(e.what()), true);
        return false;
    }
}
