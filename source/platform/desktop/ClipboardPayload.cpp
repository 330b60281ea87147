#include "platform/desktop/ClipboardPayload.h"

#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>
#include <QtEndian>

#include <algorithm>

namespace desk {

namespace {

constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;  // XFD

// One A1 cell, "$" allowed before the letters and the digits. Column 0 / row 0 when it isn't.
struct Cell {
    int column = 0;
    int row = 0;
};

Cell ParseCell(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^\\$?([A-Za-z]{1,3})\\$?([0-9]{1,7})$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return {};
    int column = 0;
    for (QChar c : m.captured(1))
        column = column * 26 + (c.toUpper().unicode() - 'A' + 1);
    const int row = m.captured(2).toInt();
    if (column > kMaxColumn || row < 1 || row > kMaxRow)
        return {};
    return {column, row};
}

QString Letters(int column) {
    QString s;
    while (column > 0) {
        const int r = (column - 1) % 26;
        s.prepend(QChar('A' + r));
        column = (column - 1) / 26;
    }
    return s;
}

QString CellText(const Cell& c) { return Letters(c.column) + QString::number(c.row); }

// A corner may carry its sheet again (Data.A1:Data.C4); only the part after the last "." is
// the cell, since a cell address never holds a dot.
QString DropSheetPrefix(const QString& corner) {
    const int dot = corner.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? corner : corner.mid(dot + 1);
}

QString GuidText(const uchar* p) {
    QString s = QStringLiteral("%1-%2-%3-")
                    .arg(qFromLittleEndian<quint32>(p), 8, 16, QLatin1Char('0'))
                    .arg(qFromLittleEndian<quint16>(p + 4), 4, 16, QLatin1Char('0'))
                    .arg(qFromLittleEndian<quint16>(p + 6), 4, 16, QLatin1Char('0'));
    for (int i = 8; i < 16; ++i) {
        if (i == 10)
            s += QLatin1Char('-');
        s += QStringLiteral("%1").arg(p[i], 2, 16, QLatin1Char('0'));
    }
    return s.toUpper();
}

}  // namespace

bool SheetLink::IsSaved() const { return document.startsWith(QLatin1Char('/')); }

std::optional<SheetLink> ParseSheetLink(const QByteArray& bytes) {
    const QList<QByteArray> fields = bytes.split('\0');
    // At least application, document and item; an empty application means garbage, not a link.
    if (fields.size() < 3 || fields[0].isEmpty())
        return std::nullopt;
    SheetLink link;
    link.application = QString::fromUtf8(fields[0]);
    link.document = QString::fromUtf8(fields[1]);
    // A document named by URL (another program's habit) is read as the file it names.
    if (link.document.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) {
        const QUrl url(link.document);
        if (url.isLocalFile())
            link.document = url.toLocalFile();
    }
    link.item = QString::fromUtf8(fields[2]);
    if (fields.size() > 3)
        link.marker = QString::fromUtf8(fields[3]);
    SplitSheetReference(link.item, &link.sheet, &link.range);
    return link;
}

void SplitSheetReference(const QString& reference, QString* sheet, QString* range) {
    sheet->clear();
    range->clear();
    QString ref = reference.trimmed();
    if (ref.startsWith(QLatin1Char('$')))  // an absolute sheet reference
        ref.remove(0, 1);
    QString rest;
    if (ref.startsWith(QLatin1Char('\''))) {
        // Quoted: a doubled apostrophe is one apostrophe; the name ends at a single one.
        QString name;
        int i = 1;
        bool closed = false;
        while (i < ref.size()) {
            if (ref[i] == QLatin1Char('\'')) {
                if (i + 1 < ref.size() && ref[i + 1] == QLatin1Char('\'')) {
                    name += QLatin1Char('\'');
                    i += 2;
                    continue;
                }
                closed = true;
                ++i;
                break;
            }
            name += ref[i++];
        }
        if (!closed || i >= ref.size() || ref[i] != QLatin1Char('.'))
            return;  // unbalanced quotes or no cell after the name: nothing usable
        *sheet = name;
        rest = ref.mid(i + 1);
    } else {
        // Unquoted names hold no dot, so the sheet ends at the first one.
        const int dot = ref.indexOf(QLatin1Char('.'));
        if (dot < 0) {
            rest = ref;
        } else {
            *sheet = ref.left(dot);
            rest = ref.mid(dot + 1);
        }
    }
    *range = NormalizeRangeAddress(rest);
}

QString NormalizeRangeAddress(const QString& address) {
    const QStringList corners = address.trimmed().split(QLatin1Char(':'));
    if (corners.size() == 1) {
        const Cell c = ParseCell(corners[0]);
        return c.row ? CellText(c) : QString();
    }
    if (corners.size() != 2)
        return {};
    const Cell a = ParseCell(corners[0]);
    const Cell b = ParseCell(DropSheetPrefix(corners[1]));
    if (!a.row || !b.row)
        return {};
    const Cell topLeft{std::min(a.column, b.column), std::min(a.row, b.row)};
    const Cell bottomRight{std::max(a.column, b.column), std::max(a.row, b.row)};
    if (topLeft.column == bottomRight.column && topLeft.row == bottomRight.row)
        return CellText(topLeft);
    return CellText(topLeft) + QLatin1Char(':') + CellText(bottomRight);
}

bool ObjectDescriptor::IsChart() const {
    return classId.compare(QLatin1String(kChartClassId), Qt::CaseInsensitive) == 0;
}

std::optional<ObjectDescriptor> ParseObjectDescriptorFormat(const QString& formatName) {
    const int semi = formatName.indexOf(QLatin1Char(';'));
    if (formatName.left(semi).trimmed().compare(QLatin1String(kObjectDescriptorFormat),
                                                Qt::CaseInsensitive) != 0)
        return std::nullopt;
    // key="value" pairs; a value may hold ";" (file names do), so split outside quotes only.
    static const QRegularExpression pair(QStringLiteral("([A-Za-z_]+)=\"([^\"]*)\""));
    ObjectDescriptor d;
    bool any = false;
    for (auto it = pair.globalMatch(formatName, semi < 0 ? formatName.size() : semi);
         it.hasNext();) {
        const auto m = it.next();
        const QString key = m.captured(1).toLower();
        const QString value = m.captured(2);
        if (key == QLatin1String("classname"))
            d.classId = value.toUpper();
        else if (key == QLatin1String("typename"))
            d.typeName = value;
        else if (key == QLatin1String("displayname"))
            d.displayName = value;
        else if (key == QLatin1String("width"))
            d.width = value.toInt();
        else if (key == QLatin1String("height"))
            d.height = value.toInt();
        else
            continue;
        any = true;
    }
    if (!any)
        return std::nullopt;
    return d;
}

std::optional<ObjectDescriptor> ParseObjectDescriptorBytes(const QByteArray& bytes) {
    // size, class id, draw aspect, width, height, x, y, then two texts each after a 16-bit length.
    constexpr int kFixed = 4 + 16 + 4 + 4 + 4 + 4 + 4;
    if (bytes.size() < kFixed + 4)
        return std::nullopt;
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const quint32 declared = qFromLittleEndian<quint32>(p);
    if (declared < quint32(kFixed + 4) || declared > quint32(bytes.size()))
        return std::nullopt;
    ObjectDescriptor d;
    d.classId = GuidText(p + 4);
    d.width = qFromLittleEndian<qint32>(p + 24);
    d.height = qFromLittleEndian<qint32>(p + 28);
    int at = kFixed;
    auto readText = [&](QString* out) {
        if (at + 2 > int(declared))
            return false;
        const int len = qFromLittleEndian<quint16>(p + at);
        at += 2;
        if (at + len > int(declared))
            return false;
        *out = QString::fromUtf8(bytes.constData() + at, len);
        at += len;
        return true;
    };
    if (!readText(&d.typeName) || !readText(&d.displayName))
        return std::nullopt;
    return d;
}

QList<QStringList> SplitCopiedText(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (t.endsWith(QLatin1Char('\n')))
        t.chop(1);
    QList<QStringList> rows;
    if (t.isEmpty())
        return rows;
    const QStringList lines = t.split(QLatin1Char('\n'));
    rows.reserve(lines.size());
    for (const QString& line : lines)
        rows.append(line.split(QLatin1Char('\t')));
    return rows;
}

QString ExpectedCopiedText(const QList<QStringList>& displayed) {
    int top = -1, bottom = -1, left = -1, right = -1;
    for (int r = 0; r < displayed.size(); ++r) {
        for (int c = 0; c < displayed[r].size(); ++c) {
            if (displayed[r][c].isEmpty())
                continue;
            if (top < 0)
                top = r;
            bottom = r;
            left = left < 0 ? c : std::min(left, c);
            right = std::max(right, c);
        }
    }
    if (top < 0)
        return {};
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QString text;
    for (int r = top; r <= bottom; ++r) {
        const QStringList& row = displayed[r];
        for (int c = left; c <= right; ++c) {
            if (c > left)
                text += QLatin1Char('\t');
            if (c < row.size())
                text += QString(row[c]).replace(lineBreak, QStringLiteral(" "));
        }
        if (top != bottom || left != right)
            text += QLatin1Char('\n');
    }
    return text;
}

bool CopiedTextMatches(const QString& copiedText, const QList<QStringList>& displayed) {
    auto normal = [](QString t) {
        t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        if (t.endsWith(QLatin1Char('\n')))
            t.chop(1);
        return t;
    };
    return normal(copiedText) == normal(ExpectedCopiedText(displayed));
}

QString FindFormat(const QMimeData* data, const QString& base) {
    if (!data)
        return {};
    const QStringList formats = data->formats();
    for (const QString& f : formats) {
        const int semi = f.indexOf(QLatin1Char(';'));
        if (f.left(semi).trimmed().compare(base, Qt::CaseInsensitive) == 0)
            return f;
    }
    return {};
}

QString CopiedText(const QMimeData* data) {
    if (!data)
        return {};
    const QStringList formats = data->formats();
    for (const QString& f : formats) {
        const QString lower = f.toLower().remove(QLatin1Char(' '));
        if (lower == QLatin1String("text/plain;charset=utf-8"))
            return QString::fromUtf8(data->data(f));
    }
    return data->hasText() ? data->text() : QString();
}

}  // namespace desk
