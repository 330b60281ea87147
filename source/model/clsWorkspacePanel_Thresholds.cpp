// Threshold highlighting: the rules of DsbpanelThresholds colour the cells of a panel's range
// whose values pass their tests, where the range lies after the last relocation.

#include "model/clsWorkspacePanel.h"

#include "platform/workbook/Workbook.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"

#include <QLocale>

#include <optional>

namespace {

const QString kModule = QStringLiteral("clsWorkspacePanel");

// A rule's test: an operator (>=, <=, <>, >, <, =) and a number with a point, blanks allowed
// around both. nullopt when the text is no such test.
std::optional<bool> Passes(double value, const QString& expression) {
    const QString e = expression.trimmed();
    static const char* const ops[] = {">=", "<=", "<>", ">", "<", "="};
    for (const char* op : ops) {
        if (!e.startsWith(QLatin1String(op)))
            continue;
        bool ok = false;
        const double limit = QLocale::c().toDouble(e.mid(qsizetype(qstrlen(op))).trimmed(), &ok);
        if (!ok)
            return std::nullopt;
        const QLatin1String o(op);
        if (o == QLatin1String(">="))
            return value >= limit;
        if (o == QLatin1String("<="))
            return value <= limit;
        if (o == QLatin1String("<>"))
            return value != limit;
        if (o == QLatin1String(">"))
            return value > limit;
        if (o == QLatin1String("<"))
            return value < limit;
        return value == limit;
    }
    return std::nullopt;
}

// The cell's value as a number: an empty cell counts as 0, a text only when it is a number.
std::optional<double> NumberOf(const xl::CellValue& v) {
    switch (v.type) {
    case xl::ValueType::Empty:
        return 0.0;
    case xl::ValueType::Number:
        return v.number;
    case xl::ValueType::Text: {
        bool ok = false;
        const double d = QLocale::c().toDouble(v.text.trimmed(), &ok);
        return ok ? std::optional<double>(d) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

}  // namespace

QString clsWorkspacePanel::MapCell(int32_t RowOff, int32_t ColOff, xl::Worksheet* ws) {
    const int32_t lastFixedRow = pFixRow1 > 0 ? pFixRow2 : 0;
    const int32_t lastFixedCol = pFixCol1.isEmpty() ? 0 : ColumnNumber(ws, pFixCol2);
    int32_t row = RowOff, col = ColOff;
    if (!(RowOff <= lastFixedRow && ColOff <= lastFixedCol)) {
        row += pRowShift;
        col += pColShift;
    }
    const QString letters = ColumnLetters(col);
    if (letters.isEmpty() || row < 1 || row > xl::kMaxRows)
        throw xl::Error(QStringLiteral("row %1, column %2 lies outside the sheet").arg(row).arg(col));
    return letters + QString::number(row);
}

void clsWorkspacePanel::lightCells(xl::Worksheet* ws, db::Database* DB) {
    if (!ws) {
        LogError(kModule, QStringLiteral("lightCells"), ErrNum::kObjectNotSet,
                 QStringLiteral("No sheet to colour for panel %1").arg(ID), false);
        return;
    }
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(DB, rs, QStringLiteral("SELECT * FROM DsbpanelThresholds WHERE PanelID = ?"),
                           {ID}, true, QString(), QString()))
        return;
    for (; !rs->EOF_(); rs->MoveNext()) {
        const QString highExp = rs->Text(QStringLiteral("highExp"));
        const QString lowExp = rs->Text(QStringLiteral("lowExp"));
        const QString ifHigh = rs->Text(QStringLiteral("ifHigh"));
        const QString ifLow = rs->Text(QStringLiteral("ifLow"));
        const QVariant rowOff = rs->Field(QStringLiteral("rowOffset"));
        const QVariant colOff = rs->Field(QStringLiteral("colOffset"));
        // One rule that can't be applied is logged and passed over; the others still colour.
        auto skip = [&](const QString& why) {
            LogError(kModule, QStringLiteral("lightCells"), ErrNum::kGeneral,
                     QStringLiteral("Threshold rule of panel %1 at row %2, column %3 (\"%4\", "
                                    "\"%5\") skipped: %6")
                         .arg(ID)
                         .arg(rowOff.toString(), colOff.toString(), highExp, lowExp, why),
                     false);
        };
        try {
            const xl::Range cell = ws->Range(MapCell(rowOff.toInt(), colOff.toInt(), ws));
            const auto value = NumberOf(cell.Value());
            if (!value) {
                skip(QStringLiteral("the cell %1 holds no number").arg(cell.Address(false, false)));
                continue;
            }
            std::optional<bool> high, low;
            if (!highExp.isEmpty() && !(high = Passes(*value, highExp))) {
                skip(QStringLiteral("the test \"%1\" can't be read").arg(highExp));
                continue;
            }
            if (!lowExp.isEmpty() && !(low = Passes(*value, lowExp))) {
                skip(QStringLiteral("the test \"%1\" can't be read").arg(lowExp));
                continue;
            }
            if (high.value_or(false) && ifHigh.left(5) == QLatin1String("color"))
                cell.GetInterior().SetColor(xl::RGB(128, 180, 180));
            // Applied after the high colour, so when both tests hold the low one stays.
            if (low.value_or(false) && ifLow.left(5) == QLatin1String("color"))
                cell.GetInterior().SetColor(xl::RGB(180, 128, 180));
        } catch (const std::exception& e) {
            skip(QString::fromStdString(e.what()));
        }
    }
}
