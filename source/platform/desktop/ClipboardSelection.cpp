#include "platform/desktop/ClipboardSelection.h"

#include <QFileInfo>
#include <QMimeData>

#include <zip.h>

#include <cmath>

namespace desk {

namespace {

constexpr double kMmPerInch = 25.4;

bool IsChartEmbedSource(const QByteArray& bytes) {
    // An embedded object travels as an ODF package whose first, stored entry names its kind.
    return bytes.startsWith("PK") &&
           bytes.left(160).contains("application/vnd.oasis.opendocument.chart");
}

void SetSize(ClipboardSelection* s, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0)
        return;
    s->width100mm = width;
    s->height100mm = height;
    const double wInches = width / 100.0 / kMmPerInch;
    const double hInches = height / 100.0 / kMmPerInch;
    s->sizePoints = QSizeF(wInches * 72.0, hInches * 72.0);
    s->sizePixels = QSize(int(std::lround(wInches * 96.0)), int(std::lround(hInches * 96.0)));
}

std::optional<ObjectDescriptor> Descriptor(const QMimeData* data) {
    const QString format = FindFormat(data, QLatin1String(kObjectDescriptorFormat));
    if (format.isEmpty())
        return std::nullopt;
    // The name carries the attributes on X11; the bytes carry them where names get trimmed.
    if (auto d = ParseObjectDescriptorFormat(format); d && d->width > 0)
        return d;
    return ParseObjectDescriptorBytes(data->data(format));
}

bool HoldsChart(const QMimeData* data, const std::optional<ObjectDescriptor>& descriptor) {
    if (descriptor && descriptor->IsChart())
        return true;
    const QString embed = FindFormat(data, QLatin1String(kEmbedSourceFormat));
    return !embed.isEmpty() && IsChartEmbedSource(data->data(embed));
}

}  // namespace

WorkbookCheck CheckWorkbookFile(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return WorkbookCheck::Missing;
    int error = 0;
    zip_t* zip = zip_open(QFile::encodeName(info.absoluteFilePath()).constData(), ZIP_RDONLY,
                          &error);
    if (!zip)
        return WorkbookCheck::NotXlsx;
    // Part names in a package compare without regard to case.
    const bool hasWorkbook = zip_name_locate(zip, "xl/workbook.xml", ZIP_FL_NOCASE) >= 0;
    zip_discard(zip);
    return hasWorkbook ? WorkbookCheck::Ok : WorkbookCheck::NotXlsx;
}

ClipboardSelection ClassifyClipboard(const QMimeData* data, const QString& rememberedWorkbook) {
    ClipboardSelection s;
    if (!data)
        return s;
    const auto descriptor = Descriptor(data);
    const QString linkFormat = FindFormat(data, QLatin1String(kLinkFormat));
    const auto link = linkFormat.isEmpty() ? std::nullopt : ParseSheetLink(data->data(linkFormat));

    if (link) {
        s.workbookPath = link->document;
        if (descriptor)
            SetSize(&s, descriptor->width, descriptor->height);
        if (!link->IsSaved()) {
            s.refusal = Refusal::NeverSaved;
            return s;
        }
        switch (CheckWorkbookFile(link->document)) {
        case WorkbookCheck::Missing:
            s.refusal = Refusal::FileMissing;
            return s;
        case WorkbookCheck::NotXlsx:
            s.refusal = Refusal::NotXlsx;
            return s;
        case WorkbookCheck::Ok:
            break;
        }
        if (link->sheet.isEmpty() || link->range.isEmpty()) {
            s.refusal = Refusal::NoSheet;
            return s;
        }
        s.kind = ClipboardKind::Cells;
        s.refusal = Refusal::None;
        s.sheet = link->sheet;
        s.range = link->range;
        s.copiedText = CopiedText(data);
        s.copiedRows = SplitCopiedText(s.copiedText);
        return s;
    }

    if (HoldsChart(data, descriptor)) {
        s.kind = ClipboardKind::Chart;
        s.refusal = Refusal::None;
        if (descriptor)
            SetSize(&s, descriptor->width, descriptor->height);
        // A workbook deleted or replaced by another kind of file since is no help in finding
        // the chart; the caller then asks for the workbook.
        if (CheckWorkbookFile(rememberedWorkbook) == WorkbookCheck::Ok)
            s.workbookPath = rememberedWorkbook;
        return s;
    }
    return s;
}

QString DescribeRefusal(const ClipboardSelection& s) {
    switch (s.refusal) {
    case Refusal::None:
        return {};
    case Refusal::NoSpreadsheetContent:
        return QStringLiteral("The clipboard holds no cells or chart copied in a spreadsheet.");
    case Refusal::NeverSaved:
        return QStringLiteral("The cells were copied from \"%1\", which has never been saved. "
                              "Save it as an .xlsx workbook and copy the cells again.")
            .arg(s.workbookPath);
    case Refusal::FileMissing:
        return QStringLiteral("The workbook %1 the cells were copied from no longer exists.")
            .arg(s.workbookPath);
    case Refusal::NotXlsx:
        return QStringLiteral("%1 is not an .xlsx workbook. Save it as an .xlsx workbook and "
                              "copy the cells again.")
            .arg(s.workbookPath);
    case Refusal::NoSheet:
        return QStringLiteral("The copied content names no cells of a worksheet in %1.")
            .arg(s.workbookPath);
    }
    return {};
}

}  // namespace desk
