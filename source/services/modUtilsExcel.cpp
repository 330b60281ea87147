#include "services/modUtilsExcel.h"

#include "platform/desktop/DesktopShell.h"
#include "platform/workbook/Recalc.h"
#include "services/DesktopLaunch.h"
#include "services/UserPrompts.h"
#include "services/modUtilsLog.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString kModule = QStringLiteral("modUtilsExcel");

xl::Worksheet* NeedSheet(xl::Worksheet* WS) {
    if (!WS)
        throw xl::Error(QStringLiteral("Object variable or With block variable not set"));
    return WS;
}

}  // namespace

bool Excel_GetInstance(ExcelApp& XL) {
    if (XL)
        return true;
    LogEvent(kModule, QStringLiteral("Excel_GetInstance"),
             QStringLiteral("No running spreadsheet application can be attached to."), false);
    return false;
}

bool Excel_Init(ExcelApp& XL) {
    // Every recalculation runs in a hidden instance: from the first one on, what LibreOffice
    // did each time goes to the log.
    static const bool reporting = [] {
        xl::SetRecalcReporter(
            [](const QString& message) { LogEvent(kModule, QStringLiteral("RefreshAll"), message, false); });
        return true;
    }();
    (void)reporting;
    try {
        if (!XL) {
            auto app = std::make_shared<xl::Application>();
            app->Visible = false;
            app->DisplayAlerts = false;
            // So that files the user opens from the desktop never land in it.
            app->IgnoreRemoteRequests = true;
            XL = std::move(app);
        }
        return true;
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("Excel_Init"), ErrNum::kGeneral,
                 QString::fromStdString(e.what()), true);
        return false;
    }
}

void CloseWorkbooks(ExcelApp& XL) {
    if (!XL)
        return;
    try {
        XL->DisplayAlerts = false;
        auto books = XL->Workbooks();
        for (int i = books.Count(); i >= 1; --i)
            books.Item(i)->Close();
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("CloseWorkbooks"), ErrNum::kGeneral,
                 QString::fromStdString(e.what()), true);
    }
}

void Excel_Exit(ExcelApp& XL) {
    if (!XL)
        return;
    try {
        CloseWorkbooks(XL);
        XL->IgnoreRemoteRequests = false;
        XL->DisplayAlerts = true;
        XL->Quit();
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("Excel_Exit"), ErrNum::kGeneral,
                 QString::fromStdString(e.what()), true);
    }
    XL.reset();
}

xl::Workbook* OpenWithSheets(const ExcelApp& XL, const QString& Path, const QStringList& SheetNames) {
    QList<QPair<QString, QString>> wanted;
    for (const QString& sheet : SheetNames)
        wanted.append({Path, sheet});
    XL->Prefetch(wanted);
    return XL->Workbooks().Open(Path, true);
}

bool Excel_HasSheet(xl::Workbook* WB, const QString& SheetName) {
    if (WB && WB->Sheets().Find(SheetName))
        return true;
    LogEvent(kModule, QStringLiteral("Excel_HasSheet"), SheetName + QStringLiteral(" not found."),
             false);
    return false;
}

bool Excel_HasWorkbook(const ExcelApp& XL, const QString& FullPath, bool& SameName) {
    if (!XL)
        return false;
    try {
        const QString fileName = QFileInfo(QString(FullPath).replace(QLatin1Char('\\'), QLatin1Char('/'))).fileName();
        const QString wanted = QDir::cleanPath(QString(FullPath).replace(QLatin1Char('\\'), QLatin1Char('/')));
        auto books = XL->Workbooks();
        const int count = books.Count();
        for (int i = 1; i <= count; ++i) {
            xl::Workbook* wb = books.Item(i);
            if (QDir::cleanPath(wb->FullName()).compare(wanted, Qt::CaseInsensitive) == 0)
                return true;
            if (wb->Name().compare(fileName, Qt::CaseInsensitive) == 0)
                SameName = true;
        }
    } catch (const std::exception&) {
        LogEvent(kModule, QStringLiteral("Excel_HasWorkbook"), FullPath + QStringLiteral(" not loaded."),
                 false);
    }
    return false;
}

bool Excel_HasShape(xl::Worksheet* WS, const QString& ShapeName) {
    if (WS && WS->Shapes().Find(ShapeName))
        return true;
    LogEvent(kModule, QStringLiteral("Excel_HasShape"),
             xl::DescribeReference(ShapeName) + QStringLiteral(" not found."), false);
    return false;
}

bool Excel_Launch(const QString& FullPath, const QString& SheetName) {
    try {
        if (!QFileInfo(FullPath).isFile()) {
            MsgBox(QStringLiteral("Unable to open ") + FullPath + QStringLiteral("."),
                   vbExclamation);
            return false;
        }
        if (!DesktopLaunch::OpenDocument(FullPath)) {
            MsgBox(QStringLiteral("Unable to launch Excel instance."), vbExclamation);
            return false;
        }
        if (!SheetName.isEmpty())
            LogEvent(kModule, QStringLiteral("Excel_Launch"),
                     FullPath + QStringLiteral(" opened; the desktop application shows the sheet "
                                               "saved as active, not necessarily ") +
                         SheetName + QStringLiteral("."),
                     false);
        // The desktop's program titles its window after the file; raising it is best effort.
        if (!PromptScript::Enabled())
            (void)desk::BringToFront(QFileInfo(FullPath).fileName());
        return true;
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("Excel_Launch"), ErrNum::kGeneral,
                 QString::fromUtf8(e.what()), true);
        return false;
    }
}

QString RangeCorner(const QString& Address, const QString& Which) {
    const qsizetype colon = Address.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return Address;
    return Which == QLatin1String("botRight") ? Address.mid(colon + 1) : Address.left(colon);
}

QString ShiftRowsAddress(xl::Worksheet* WS, const QString& Address, int32_t Offset) {
    const xl::Range r = NeedSheet(WS)->Range(Address);
    const int32_t r1 = r.Row() + Offset;
    const int32_t r2 = r1 + int32_t(r.Rows().Count()) - 1;
    return QString::number(r1) + QLatin1Char(':') + QString::number(r2);
}

QString ShiftColsAddress(xl::Worksheet* WS, const QString& Address, int32_t Offset) {
    const xl::Range r = NeedSheet(WS)->Range(Address);
    const int32_t c1 = r.Column() + Offset;
    const int32_t c2 = c1 + int32_t(r.Columns().Count()) - 1;
    return ColumnLetters(c1) + QLatin1Char(':') + ColumnLetters(c2);
}

QString MoveRangeAddress(xl::Worksheet* WS, const QString& Address, const QString& FromCell,
                         const QString& ToCell) {
    xl::Worksheet* ws = NeedSheet(WS);
    const xl::Range from = ws->Range(FromCell), to = ws->Range(ToCell);
    const int32_t rowShift = to.Row() - from.Row();
    const int32_t colShift = to.Column() - from.Column();
    const xl::Range corner = ws->Range(RangeCorner(Address, QStringLiteral("topLeft")));
    const xl::Range whole = ws->Range(Address);
    // Kept inside the grid at both ends, the size unchanged where the grid allows it.
    const int32_t rows = int32_t(whole.Rows().Count()), cols = int32_t(whole.Columns().Count());
    const int32_t r1 = std::clamp(corner.Row() + rowShift, 1, xl::kMaxRows - rows + 1);
    const int32_t r2 = std::max(1, r1 + rows - 1);
    const int32_t c1 = std::clamp(corner.Column() + colShift, 1, xl::kMaxCols - cols + 1);
    const int32_t c2 = std::max(1, c1 + cols - 1);
    return ColumnLetters(c1) + QString::number(r1) + QLatin1Char(':') + ColumnLetters(c2) +
           QString::number(r2);
}

int32_t ColumnNumber(xl::Worksheet* WS, const QString& Letters) {
    if (Letters.isEmpty())
        return 0;
    return NeedSheet(WS)->Range(Letters + QLatin1Char(':') + Letters).Column();
}

QString ColumnLetters(int32_t Column) {
    if (Column <= 0)
        throw xl::Error(QStringLiteral("Invalid procedure call or argument: column %1").arg(Column));
    return xl::ColumnName(Column);  // "" beyond XFD
}

void GetAbsFlags(const QString& Address, bool& RowAbs, bool& ColAbs) {
    if (Address.contains(QLatin1Char(':')) || Address.size() < 3)
        return;
    ColAbs = Address.startsWith(QLatin1Char('$'));
    RowAbs = Address.indexOf(QLatin1Char('$'), 1) >= 1;
}

QString RealBottomRight(xl::Worksheet* WS) {
    try {
        xl::Worksheet* ws = NeedSheet(WS);
        const xl::Range all = ws->Cells();
        const auto lastRow = all.Find(QStringLiteral("*"), std::nullopt, xl::xlValues, xl::xlPart,
                                      xl::xlByRows, xl::xlPrevious);
        const auto lastCol = all.Find(QStringLiteral("*"), std::nullopt, xl::xlValues, xl::xlPart,
                                      xl::xlByColumns, xl::xlPrevious);
        if (lastRow && lastCol)
            return ws->Cells(lastRow->Row(), lastCol->Column()).Address();
    } catch (const std::exception&) {
        // reported below like an empty sheet
    }
    LogEvent(kModule, QStringLiteral("RealBottomRight"), QStringLiteral("No contents found"), false);
    return QString();
}
