#include "services/modUtilsINI.h"

#include "services/App.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

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

void INI_WriteString(const QString& file, const QString& section, const QString& key,
                     const QString& value) {
    bool existed = false;
    QStringList lines = ReadLines(file, &existed);
    if (!existed && QFile::exists(file))
        return;  // there but unreadable: leave it alone rather than replace it
    const QString newLine = key.trimmed() + QLatin1Char('=') + value;

    int sectionStart = -1, lastInSection = -1, keyLine = -1;
    for (int i = 0; i < lines.size(); ++i) {
        QString name, k, v;
        if (IsSectionLine(lines[i], &name)) {
            if (sectionStart >= 0 && keyLine < 0)
                break;
            if (name.compare(section.trimmed(), Qt::CaseInsensitive) == 0 && sectionStart < 0) {
                sectionStart = i;
                lastInSection = i;
            }
            continue;
        }
        if (sectionStart >= 0 && keyLine < 0) {
            if (!lines[i].trimmed().isEmpty())
                lastInSection = i;
            if (IsKeyLine(lines[i], &k, &v) && k.compare(key.trimmed(), Qt::CaseInsensitive) == 0)
                keyLine = i;
        }
    }
    if (keyLine >= 0) {
        lines[keyLine] = newLine;
    } else if (sectionStart >= 0) {
        lines.insert(lastInSection + 1, newLine);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines << QString();
        lines << QLatin1Char('[') + section.trimmed() + QLatin1Char(']') << newLine;
    }

    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write((lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n")).toUtf8());
    out.commit();
}
