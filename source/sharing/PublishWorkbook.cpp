#include "sharing/modPublish.h"

#include "services/UserPrompts.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"
#include "ui/modUtilsPics.h"
#include "services/DesktopLaunch.h"
#include "services/StatusText.h"
#include "platform/workbook/Error.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>

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

}  // namespace

QString PublishedWorkbooksFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() : documents;
}

namespace {

// Where a workbook that has no file of its own is written before it is shown: the user's
// documents folder, where a Save in the spreadsheet keeps it and the user finds it again (not
// the temporary folder, which is cleared at reboot). Named after the dashboard and the time,
// and never over a file that is there already.
QString ShownWorkbookPath(const QString& dashboardName) {
    const QString folder = PublishedWorkbooksFolder();
    if (!QDir().mkpath(folder))
        throw xl::Error(QStringLiteral("Unable to publish: the folder %1 can't be made.").arg(folder));
    QString name = QFileInfo(TemplatePathFor(dashboardName)).completeBaseName();
    if (name.isEmpty())
        name = QStringLiteral("Dashboard");
    const QString stem = folder + QLatin1Char('/') + name + QLatin1Char(' ') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString path = stem + QStringLiteral(".xlsx");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + QStringLiteral(" (%1).xlsx").arg(n);
    return path;
}
// The workbook a dashboard is published into and what its "Info" sheet says: B1 the sheet the
// picture goes on, B2 the cell that gets the date, B3 the placeholder shape the picture takes
// the place of (each "" when not given).
struct PublishTarget {
    xl::Workbook* WB = nullptr;
    QString B1, B2, B3;
};

// The template when there is one (itself when just chosen, else a new workbook made from it), a
// new empty workbook otherwise; a sheet the template names but lacks is added and logged.
PublishTarget OpenPublishTarget(ExcelApp& XL, const QString& templatePath,
                                const QString& pickedFile) {
    PublishTarget target;
    if (!templatePath.isEmpty() && FileExists(templatePath)) {
        // Only the template just chosen is itself the workbook; an existing template is never
        // changed by publishing.
        target.WB = pickedFile.isEmpty() ? XL->Workbooks().Add(templatePath)
                                         : XL->Workbooks().Open(templatePath);
        if (Excel_HasSheet(target.WB, QStringLiteral("Info"))) {
            xl::Worksheet* info = target.WB->Sheets().Item(QStringLiteral("Info"));
            target.B1 = InfoText(info, QStringLiteral("B1"));
            if (!Excel_HasSheet(target.WB, target.B1)) {
                xl::Worksheet* added = target.WB->Sheets().Add();
                LogEvent(kModule, kProc,
                         QLatin1Char('[') + target.B1 + QStringLiteral("] not found in template file [") +
                             templatePath + QLatin1Char(']'));
                target.B1 = added->Name();
            }
            target.B2 = InfoText(info, QStringLiteral("B2"));
            target.B3 = InfoText(info, QStringLiteral("B3"));
        }
    }
    if (target.B1.isEmpty()) {
        target.WB = XL->Workbooks().Add();
        target.B1 = target.WB->Sheets().Item(1)->Name();
        target.B2.clear();
        target.B3.clear();
    }
    return target;
}

// The picture just pasted (the sheet's last shape) takes the placeholder's place, width and
// name, so the next publication replaces it in turn; false when there is no such placeholder.
bool ReplacePlaceholder(xl::Worksheet* WS, const QString& placeholder) {
    if (placeholder.isEmpty() || !Excel_HasShape(WS, placeholder))
        return false;
    xl::Shape* P = WS->Shapes().Item(placeholder);
    auto last = [WS] { return WS->Shapes().Item(WS->Shapes().Count()); };
    last()->SetTop(P->Top());
    last()->SetLeft(P->Left());
    // The width the placeholder's workbook gives it: the spreadsheet spans a picture anchored
    // to two cells over its own column widths, which can differ a little from ours per column,
    // so the width measured between the cells would show narrower or wider there.
    last()->SetWidth(P->DeclaredSize().width());
    P->Delete();
    last()->SetName(placeholder);
    return true;
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
        const PublishTarget target = OpenPublishTarget(XL, templatePath, pickedFile);
        xl::Workbook* WB = target.WB;
        const QString& B1 = target.B1;
        const QString& B2 = target.B2;
        const QString& B3 = target.B3;
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
        if (ReplacePlaceholder(WS, B3) && !pickedFile.isEmpty()) {
            WB->Save();
            savedInPlace = true;
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
        } else {
            ShowLastingStatus(QStringLiteral("The dashboard was published to ") + shown + QLatin1Char('.'));
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
