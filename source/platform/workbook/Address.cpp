#include "platform/workbook/Address.h"

#include <QList>

namespace xl {

QString ColumnName(int32_t column) {
    if (column < 1 || column > kMaxCols)
        return QString();
    QString out;
    while (column > 0) {
        const int32_t rem = (column - 1) % 26;
        out.prepend(QChar(char16_t(u'A' + rem)));
        column = (column - 1) / 26;
    }
    return out;
}

int32_t ColumnIndex(QStringView letters) {
    if (letters.isEmpty() || letters.size() > 3)
        return 0;
    int32_t n = 0;
    for (QChar ch : letters) {
        const char16_t u = ch.toUpper().unicode();
        if (u < u'A' || u > u'Z')
            return 0;
        n = n * 26 + (u - u'A' + 1);
    }
    return n <= kMaxCols ? n : 0;
}

namespace {

// One corner: optional "$" + letters, optional "$" + digits. Either part may be missing
// (whole rows or columns); `hasCol`/`hasRow` say which were there.
struct Corner {
    int32_t col = 0, row = 0;
    bool hasCol = false, hasRow = false;
    RefMarks marks;
};

bool ParseCorner(QStringView s, Corner& out) {
    qsizetype i = 0;
    const qsizetype n = s.size();
    bool dollar = false;
    if (i < n && s[i] == u'$') {
        dollar = true;
        ++i;
    }
    const qsizetype lettersStart = i;
    while (i < n && s[i].isLetter() && s[i].unicode() < 128)
        ++i;
    if (i > lettersStart) {
        out.col = ColumnIndex(s.mid(lettersStart, i - lettersStart));
        if (out.col == 0)
            return false;
        out.hasCol = true;
        out.marks.colAbsolute = dollar;
        dollar = false;
        if (i < n && s[i] == u'$') {
            dollar = true;
            ++i;
        }
    }
    const qsizetype digitsStart = i;
    while (i < n && s[i].isDigit() && s[i].unicode() < 128)
        ++i;
    if (i != n)
        return false;
    if (i > digitsStart) {
        if (i - digitsStart > 7)
            return false;
        bool ok = false;
        const int32_t row = s.mid(digitsStart, i - digitsStart).toInt(&ok);
        if (!ok || row < 1 || row > kMaxRows)
            return false;
        out.row = row;
        out.hasRow = true;
        out.marks.rowAbsolute = dollar;
    } else if (dollar) {
        return false;  // a "$" with nothing after it
    }
    return out.hasCol || out.hasRow;
}

}  // namespace

std::optional<RangeRef> ParseRange(QStringView text, RefMarks* marks) {
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    const qsizetype colon = text.indexOf(u':');
    Corner a, b;
    if (!ParseCorner(colon < 0 ? text : text.left(colon), a))
        return std::nullopt;
    if (colon < 0) {
        if (!a.hasCol || !a.hasRow)
            return std::nullopt;  // "B" or "5" alone is no address
        b = a;
    } else if (!ParseCorner(text.mid(colon + 1), b)) {
        return std::nullopt;
    }
    RangeRef r;
    if (a.hasCol && a.hasRow && b.hasCol && b.hasRow) {
        r = {a.row, a.col, b.row, b.col};
    } else if (!a.hasCol && !b.hasCol && a.hasRow && b.hasRow) {
        r = {a.row, 1, b.row, kMaxCols};
    } else if (!a.hasRow && !b.hasRow && a.hasCol && b.hasCol) {
        r = {1, a.col, kMaxRows, b.col};
    } else {
        return std::nullopt;
    }
    if (r.row1 > r.row2)
        std::swap(r.row1, r.row2);
    if (r.col1 > r.col2)
        std::swap(r.col1, r.col2);
    if (marks)
        *marks = a.marks;
    return r;
}

QList<RangeRef> ParseRangeList(QStringView text) {
    QList<RangeRef> out;
    for (QStringView part : text.split(u' ', Qt::SkipEmptyParts)) {
        auto r = ParseRange(part);
        if (!r)
            return {};
        out.append(*r);
    }
    return out;
}

QString CellAddress(int32_t row, int32_t col, bool rowAbsolute, bool colAbsolute) {
    QString s;
    if (colAbsolute)
        s += QLatin1Char('$');
    s += ColumnName(col);
    if (rowAbsolute)
        s += QLatin1Char('$');
    s += QString::number(row);
    return s;
}

QString FormatAddress(const RangeRef& r, bool absolute) {
    const QString d = absolute ? QStringLiteral("$") : QString();
    if (r.IsWholeColumns() && !(r.IsWholeRows()))
        return d + ColumnName(r.col1) + QLatin1Char(':') + d + ColumnName(r.col2);
    if (r.IsWholeRows() && !r.IsWholeColumns())
        return d + QString::number(r.row1) + QLatin1Char(':') + d + QString::number(r.row2);
    if (r.IsWholeRows() && r.IsWholeColumns())
        return d + QStringLiteral("1:") + d + QString::number(kMaxRows);
    const QString first = CellAddress(r.row1, r.col1, absolute, absolute);
    if (r.row1 == r.row2 && r.col1 == r.col2)
        return first;
    return first + QLatin1Char(':') + CellAddress(r.row2, r.col2, absolute, absolute);
}

std::optional<RangeRef> Intersection(const RangeRef& a, const RangeRef& b) {
    RangeRef r{std::max(a.row1, b.row1), std::max(a.col1, b.col1), std::min(a.row2, b.row2),
               std::min(a.col2, b.col2)};
    if (r.row1 > r.row2 || r.col1 > r.col2)
        return std::nullopt;
    return r;
}

}  // namespace xl
