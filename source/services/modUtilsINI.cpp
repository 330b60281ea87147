#include "services/modUtilsINI.h"

#include "services/App.h"
#include "services/modUtilsFile.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <vector>

namespace {

// Values read are cut at 255 characters: the options and paths kept here are shorter, and
// the limit keeps a damaged line from flooding the fields it is read into.
constexpr int kMaxValue = 255;

QStringList ReadLines(const QString& file, bool* ok) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        *ok = false;
        return {};
    }
    *ok = true;
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool IsSectionLine(const QString& line, QString* name) {
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return false;
    const int close = t.indexOf(QLatin1Char(']'));
    if (close < 0)
        return false;
    *name = t.mid(1, close - 1).trimmed();
    return true;
}

bool IsKeyLine(const QString& line, QString* key, QString* value) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
        return false;
    const int eq = t.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    *key = t.left(eq).trimmed();
    *value = t.mid(eq + 1).trimmed();
    return true;
}

// Finds a key's value; nullopt-like through the bool.
bool FindValue(const QStringList& lines, const QString& section, const QString& key, QString* value) {
    bool inSection = false;
    for (const QString& line : lines) {
        QString name, k, v;
        if (IsSectionLine(line, &name)) {
            inSection = name.compare(section.trimmed(), Qt::CaseInsensitive) == 0;
            continue;
        }
        if (inSection && IsKeyLine(line, &k, &v) &&
            k.compare(key.trimmed(), Qt::CaseInsensitive) == 0) {
            // A value in matching quotes is returned without them, as the profile functions do.
            if (v.size() >= 2 && ((v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"'))) ||
                                  (v.startsWith(QLatin1Char('\'')) && v.endsWith(QLatin1Char('\'')))))
                v = v.mid(1, v.size() - 2);
            *value = v;
            return true;
        }
    }
    return false;
}

}  // namespace

QString GetINIFile() {
    // The folder always gets a separator here, even after one it already ends with.
    return App::Path() + QLatin1Char('/') + App::EXEName() + QLatin1String(".INI");
}

QString INI_ReadString(const QString& file, const QString& section, const QString& key,
                       const QString& defaultText) {
    bool ok = false;
    const QStringList lines = ReadLines(file, &ok);
    QString value;
    if (!ok || !FindValue(lines, section, key, &value))
        return defaultText;
    value.truncate(kMaxValue);
    return value.isEmpty() ? defaultText : value;
}

int32_t INI_ReadInt(const QString& file, const QString& section, const QString& key,
                    int32_t defaultValue) {
    bool ok = false;
    const QStringList lines = ReadLines(file, &ok);
    QString value;
    // A key written without a value ("Refresh Frequency=") is as good as absent: 0 would turn
    // the dashboard black or run a refresh pass on every tick.
    if (!ok || !FindValue(lines, section, key, &value) || value.isEmpty())
        return defaultValue;
    // The leading decimal digits count, with an optional sign; anything else reads as 0.
    int i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == QLatin1Char('-') || value[i] == QLatin1Char('+')))
        negative = value[i++] == QLatin1Char('-');
    qint64 n = 0;
    for (; i < value.size() && value[i].isDigit() && value[i].unicode() < 128; ++i) {
        n = n * 10 + (value[i].unicode() - '0');
        if (n > 0xFFFFFFFFLL)
            n = 0xFFFFFFFFLL;
    }
    if (negative)
        n = -n;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<quint64>(n) & 0xFFFFFFFFULL));
}

namespace {

// A line of the file as it is stored: its bytes and its line end ("\r\n", "\n", or none on a
// last line without one). Lines are written back from these bytes, so a line in another
// encoding, or with bytes that are no text at all, stays exactly as it was.
struct StoredLine {
    QByteArray bytes;
    QByteArray end;
    QString Text(bool first) const {
        QString text = QString::fromUtf8(bytes);
        if (first && text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }
};

std::vector<StoredLine> SplitStored(const QByteArray& content) {
    std::vector<StoredLine> lines;
    qsizetype at = 0;
    while (at < content.size()) {
        const qsizetype newline = content.indexOf('\n', at);
        if (newline < 0) {
            lines.push_back({content.mid(at), QByteArray()});
            break;
        }
        const bool crlf = newline > at && content[newline - 1] == '\r';
        lines.push_back({content.mid(at, newline - at - (crlf ? 1 : 0)),
                         crlf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n")});
        at = newline + 1;
    }
    return lines;
}

}  // namespace

int INI_WriteString(const QString& file, const QString& section, const QString& key,
                    const QString& value) {
    QByteArray content;
    {
        QFile f(file);
        if (f.open(QIODevice::ReadOnly))
            content = f.readAll();
        else if (QFile::exists(file))
            return EACCES;  // there but unreadable: leave it alone rather than replace it
    }
    std::vector<StoredLine> lines = SplitStored(content);
    // New lines end as the file's lines do.
    const QByteArray end = lines.empty() || lines.front().end.isEmpty() ? QByteArrayLiteral("\r\n")
                                                                        : lines.front().end;
    const StoredLine newLine{(key.trimmed() + QLatin1Char('=') + value).toUtf8(), end};

    int sectionStart = -1, lastInSection = -1, keyLine = -1;
    for (int i = 0; i < int(lines.size()); ++i) {
        const QString text = lines[size_t(i)].Text(i == 0);
        QString name, k, v;
        if (IsSectionLine(text, &name)) {
            if (sectionStart >= 0 && keyLine < 0)
                break;
            if (name.compare(section.trimmed(), Qt::CaseInsensitive) == 0 && sectionStart < 0) {
                sectionStart = i;
                lastInSection = i;
            }
            continue;
        }
        if (sectionStart >= 0 && keyLine < 0) {
            if (!text.trimmed().isEmpty())
                lastInSection = i;
            if (IsKeyLine(text, &k, &v) && k.compare(key.trimmed(), Qt::CaseInsensitive) == 0)
                keyLine = i;
        }
    }
    if (keyLine >= 0) {
        lines[size_t(keyLine)].bytes = newLine.bytes;  // its own line end stays
    } else {
        const size_t at = sectionStart >= 0 ? size_t(lastInSection + 1) : lines.size();
        if (at > 0 && lines[at - 1].end.isEmpty())
            lines[at - 1].end = end;
        std::vector<StoredLine> added;
        if (sectionStart < 0) {
            if (!lines.empty() && !lines.back().Text(lines.size() == 1).trimmed().isEmpty())
                added.push_back({QByteArray(), end});
            added.push_back(
                {(QLatin1Char('[') + section.trimmed() + QLatin1Char(']')).toUtf8(), end});
        }
        added.push_back(newLine);
        lines.insert(lines.begin() + qsizetype(at), added.begin(), added.end());
    }

    QByteArray out;
    out.reserve(content.size() + newLine.bytes.size() + 64);
    for (const StoredLine& line : lines)
        out += line.bytes + line.end;
    // Written whole or not at all: a full disk never leaves the options cut short.
    return WriteWholeFile(file, out);
}
