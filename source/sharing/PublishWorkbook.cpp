#include "sharing/modPublish.h"

#include "services/UserPrompts.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"
#include "ui/modUtilsPics.h"
#include "services/DesktopLaunch.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

namespace {
const QString kModule = QStringLiteral("frmWorkspace");
const QString kProc = QStringLiteral("mnuWorkspacePublish_Click");

// A cell of the "Info" sheet as text, the way its value converts to text.
QString InfoText(xl::Worksheet* info, const QString& cell) {
    const xl::CellValue value = info->Range(cell).Value();
    switch (value.type) {
    case xl::ValueType::Text:
        return value.text;
    case xl::ValueType::Number:
        return QString::number(value.number, 'g', 15);
    case xl::ValueType::Boolean:
        return value.number != 0 ? QStringLiteral("True") : QStringLiteral("False");
    default:
        return QString();
    }
}

// Where a workbook that has no file of its own is written before it is shown: the temp folder,
// under the dashboard's name and the time, so one publication never overwrites another.
QString ShownWorkbookPath(const QString& dashboardName) {
    QString name = QFileInfo(TemplatePathFor(dashboardName)).completeBaseName();
    if (name.isEmpty())
        name = QStringLiteral("Dashboard");
    return QDir::tempPath() + QLatin1Char('/') + name + QLatin1Char(' ') +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")) +
           QStringLiteral(".xlsx");
}
}  // namespace

QString PublishIntoWorkbook(const QString& dashboardName, const QString& templatePath,
                            const QString& pickedFile, const QImage& picture) {
    HiddenInstance hidden;
    ExcelApp& XL = hidden.XL;
    if (!Excel_GetInstance(XL) && !hidden.Start()) {
        MsgBox(QStringLiteral("Unable to publish to Excel.  Please save any open Excel "
                              "spreadsheets and retry."),
               vbInformation);
        return QString();
    }
    try {
        xl::Workbook* WB = nullptr;
        QString B1, B2, B3;
        if (!templatePath.isEmpty() && FileExists(templatePath)) {
            // Only the template just chosen is itself the workbook; an existing template is
            // never changed by publishing.
            WB = pickedFile.isEmpty() ? XL->Workbooks().Add(templatePath)
                                      : XL->Workbooks().Open(templatePath);
            if (Excel_HasSheet(WB, QStringLiteral("Info"))) {
                xl::Worksheet* info = WB->Sheets().Item(QStringLiteral("Info"));
                B1 = InfoText(info, QStringLiteral("B1"));
                if (!Excel_HasSheet(WB, B1)) {
                    xl::Worksheet* added = WB->Sheets().Add();
                    LogEvent(kModule, kProc,
                             QLatin1Char('[') + B1 + QStringLiteral("] not found in template file [") +
                                 templatePath + QLatin1Char(']'));
                    B1 = added->Name();
                }
                B2 = InfoText(info, QStringLiteral("B2"));
                B3 = InfoText(info, QStringLiteral("B3"));
            }
        }
        if (B1.isEmpty()) {
            WB = XL->Workbooks().Add();
            B1 = WB->Sheets().Item(1)->Name();
            B2.clear();
            B3.clear();
        }
        xl::Worksheet* WS = WB->Sheets().Item(B1);
        WS->Activate();
        if (!B2.isEmpty()) {
            try {
                WS->Range(B2).SetValue(QDateTime::currentDateTime());
            } catch (const xl::Error&) {
                LogEvent(kModule, kProc,
                         QLatin1Char('[') + B2 +
                             QStringLiteral("] is not a valid cell address in template file [") +
                             templatePath + QLatin1Char(']'));
            }
        }
        QGuiApplication::clipboard()->clear();
        SetClipboardBitmap(picture);
        WS->Paste();
        QGuiApplication::clipboard()->clear();

        bool savedInPlace = false;
        if (!B3.isEmpty() && Excel_HasShape(WS, B3)) {
            xl::Shape* P = WS->Shapes().Item(B3);
            auto last = [WS] { return WS->Shapes().Item(WS->Shapes().Count()); };
            last()->SetTop(P->Top());
            last()->SetLeft(P->Left());
            last()->SetWidth(P->Width());
            P->Delete();
            // The picture takes the placeholder's name, so the next publication replaces it.
            last()->SetName(B3);
            if (!pickedFile.isEmpty()) {
                WB->Save();
                savedInPlace = true;
            }
        }
        QString shown = WB->FullName();
        if (!savedInPlace) {
            shown = ShownWorkbookPath(dashboardName);
            WB->SaveAs(shown);
        }
        hidden.Close();
        if (!DesktopLaunch::OpenDocument(shown)) {
            LogEvent(kModule, kProc,
                     QStringLiteral("The dashboard was published to [") + shown +
                         QStringLiteral("], but no application could be started to show it."),
                     true);
        }
        return shown;
    } catch (const std::exception& e) {
        QGuiApplication::clipboard()->clear();
        // The user is told: a publication that silently did nothing looks like one that worked.
        LogError(kModule, kProc, ErrNum::kUnreadable, QString::fromStdString(e.what()), true);
        hidden.Close();
        return QString();
    }
}
