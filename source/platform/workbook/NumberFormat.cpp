#include "platform/workbook/NumberFormat.h"

#include <QDate>
#include <QHash>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace xl {

namespace {

// ---------------------------------------------------------------------------------------------
// Decimal digits of a value, as the spreadsheet sees it: 15 significant digits, so 2.675 is
// 2.67500000000000 and rounds to 2.68, and 0.145 * 100 is 14.5 and rounds to 15.

struct Decimal {
    char d[20] = {};  // significant digits, no trailing zeros; n == 0 means zero
    int n = 0;
    int point = 0;    // value = 0.d[0]d[1]... * 10^point

    static Decimal Of(double v) {  // v >= 0 and finite
        Decimal r;
        if (v <= 0) return r;
        char buf[40];
        auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
        const char* p = buf;
        const char* end = res.ptr;
        r.d[r.n++] = *p++;
        if (p < end && *p == '.') ++p;
        while (p < end && *p != 'e' && r.n < 19) r.d[r.n++] = *p++;
        while (p < end && *p != 'e') ++p;
        int exp = 0;
        if (p < end) {
            ++p;
            if (p < end && *p == '+') ++p;
            std::from_chars(p, end, exp);
        }
        r.point = exp + 1;
        r.Trim();
        return r;
    }
    bool Zero() const { return n == 0; }
    void Trim() {
        while (n > 0 && d[n - 1] == '0') --n;
        if (n == 0) point = 0;
    }
    // Half away from zero on the decimal digits.
    void Round(int decimals) {
        const long keep = static_cast<long>(point) + decimals;
        if (keep >= n) return;
        if (keep < 0) {
            n = 0;
            point = 0;
            return;
        }
        const bool up = d[keep] >= '5';
        n = static_cast<int>(keep);
        if (up) {
            int i = n - 1;
            while (i >= 0 && d[i] == '9') --i;
            if (i < 0) {
                d[0] = '1';
                n = 1;
                point += 1;
            } else {
                d[i]++;
                n = i + 1;
            }
        }
        Trim();
    }
    // The digits before the point, without leading zeros ("" for a value below 1).
    void IntDigits(QString& out) const {
        out.clear();
        for (int j = 0; j < point; ++j) out += QLatin1Char(j < n ? d[j] : '0');
    }
    char FracDigit(int i) const {
        const long idx = static_cast<long>(point) + i;
        return (idx >= 0 && idx < n) ? d[idx] : '0';
    }
};

// ---------------------------------------------------------------------------------------------
// Parsed format codes.

enum class T : uint8_t {
    Lit, Digit, Point, Comma, Percent, Exp, Slash, FixedDen, At, General, Pad, Fill,
    Year, MonthOrMinute, Month, Day, Hour, Minute, Second, AmPm, SubSec,
    ElapsedH, ElapsedM, ElapsedS, Nothing
};
enum class Role : uint8_t { None, Int, Dec, ExpDigit, Num, Den };

struct Tok {
    T t = T::Lit;
    Role role = Role::None;
    QChar c;     // placeholder kind ('0' '#' '?'), pad or fill character
    int n = 0;   // run length of a date letter, digits of a sub-second part
    int index = 0;  // position among the placeholders of its role
    QString s;   // literal text, or the token as written
};

enum class Kind : uint8_t { Number, Date, Text, General };
enum class CondOp : uint8_t { None, Lt, Le, Gt, Ge, Eq, Ne };

struct Section {
    std::vector<Tok> toks;
    Kind kind = Kind::Number;
    QColor color;
    CondOp op = CondOp::None;
    double condValue = 0;
    // numbers
    int intCount = 0, decCount = 0, expCount = 0, numCount = 0, denCount = 0;
    int fixedDen = 0;
    int shift = 0;         // powers of ten: +2 per %, -3 per scaling comma
    bool grouping = false;
    bool sci = false, engineering = false, fraction = false;
    bool denRightAligned = false;
    int intAnchor = -1;    // where integer digits go when the format has no integer placeholder
    // dates
    int subDigits = 0;
    bool ampm = false;
    bool elapsed = false;

    bool Matches(double v) const {
        switch (op) {
        case CondOp::None: return true;
        case CondOp::Lt: return v < condValue;
        case CondOp::Le: return v <= condValue;
        case CondOp::Gt: return v > condValue;
        case CondOp::Ge: return v >= condValue;
        case CondOp::Eq: return v == condValue;
        case CondOp::Ne: return v != condValue;
        }
        return true;
    }
    // A section whose condition only admits negative values shows them without a minus,
    // as the default negative section does.
    bool ConditionImpliesNegative() const {
        return (op == CondOp::Lt && condValue <= 0) || (op == CondOp::Le && condValue < 0) ||
               (op == CondOp::Eq && condValue < 0);
    }
};

struct Format {
    std::vector<Section> secs;
    int numberSections = 0;  // sections used for numbers (1 to 3); 0 means General
    int textSection = -1;
};

// The spreadsheet's default 56-colour palette, for [Color1] to [Color56].
constexpr uint32_t kPalette[56] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

struct NamedColor {
    const char* name;
    uint32_t rgb;
};
constexpr NamedColor kNamedColors[] = {
    {"black", 0x000000}, {"white", 0xFFFFFF}, {"red", 0xFF0000},     {"green", 0x00FF00},
    {"blue", 0x0000FF},  {"yellow", 0xFFFF00}, {"magenta", 0xFF00FF}, {"cyan", 0x00FFFF}};

bool StartsWithCI(const QString& s, int at, QLatin1StringView word) {
    if (at + word.size() > s.size()) return false;
    return QStringView(s).mid(at, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

bool AllOf(const QString& s, QChar lower) {
    if (s.isEmpty()) return false;
    for (QChar c : s)
        if (c.toLower() != lower) return false;
    return true;
}

class Parser {
public:
    explicit Parser(const QString& code) : s_(code) {}

    // False when the code is malformed.
    bool Run(Format& f) {
        f.secs.emplace_back();
        int i = 0;
        const int len = s_.size();
        while (i < len) {
            if (s_[i] == QLatin1Char(';')) {
                if (f.secs.size() == 4) return false;
                f.secs.emplace_back();
                ++i;
                continue;
            }
            const int used = Token(f.secs.back(), i);
            if (used <= 0) return false;
            i += used;
        }
        for (Section& sec : f.secs) Analyse(sec);
        const int count = static_cast<int>(f.secs.size());
        if (count == 4) {
            f.textSection = 3;
            f.numberSections = 3;
        } else if (f.secs.back().kind == Kind::Text) {
            f.textSection = count - 1;
            f.numberSections = count - 1;
        } else {
            f.numberSections = count;
        }
        return true;
    }

    // Reads the token at i (anything but a section's end) into the section; the characters it
    // takes, 0 when the code is malformed there.
    int Token(Section& sec, int i) {
        const int len = s_.size();
        const QChar c = s_[i];
        const char16_t u = c.unicode();
        switch (u) {
        case '"': {
            const int close = s_.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0) return 0;
            AddLit(sec, s_.mid(i + 1, close - i - 1));
            return close + 1 - i;
        }
        case '\\':
            if (i + 1 >= len) return 0;
            AddLit(sec, QString(s_[i + 1]));
            return 2;
        case '_':
        case '*': {
            if (i + 1 >= len) return 0;
            Tok t;
            t.t = u == '_' ? T::Pad : T::Fill;
            t.c = s_[i + 1];
            sec.toks.push_back(t);
            return 2;
        }
        case '[': {
            const int close = s_.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0) return 0;
            if (!Bracket(sec, s_.mid(i + 1, close - i - 1))) return 0;
            return close + 1 - i;
        }
        case '0': case '#': case '?': {
            Tok t;
            t.t = T::Digit;
            t.c = c;
            t.s = QString(c);
            sec.toks.push_back(t);
            return 1;
        }
        case '.': Add(sec, T::Point, QStringLiteral(".")); return 1;
        case ',': Add(sec, T::Comma, QStringLiteral(",")); return 1;
        case '%': Add(sec, T::Percent, QStringLiteral("%")); return 1;
        case '@': Add(sec, T::At, QStringLiteral("@")); return 1;
        case '/': {
            Add(sec, T::Slash, QStringLiteral("/"));
            const int from = i + 1;
            int j = from;
            if (from < len && s_[from] >= QLatin1Char('1') && s_[from] <= QLatin1Char('9')) {
                while (j < len && s_[j] >= QLatin1Char('0') && s_[j] <= QLatin1Char('9') && j - from < 9) ++j;
                Tok t;
                t.t = T::FixedDen;
                t.s = s_.mid(from, j - from);
                t.n = t.s.toInt();
                sec.toks.push_back(t);
            }
            return j - i;
        }
        case 'E': case 'e': case 'G': case 'g': case 'A': case 'a': return Word(sec, i);
        case 'y': case 'Y': return DateRun(sec, i, T::Year);
        case 'm': case 'M': return DateRun(sec, i, T::MonthOrMinute);
        case 'd': case 'D': return DateRun(sec, i, T::Day);
        case 'h': case 'H': return DateRun(sec, i, T::Hour);
        case 's': case 'S': return DateRun(sec, i, T::Second);
        default:
            AddLit(sec, QString(c));
            return 1;
        }
    }

    // The tokens that start with a letter of a word: an exponent or the year ("e"), "General",
    // "AM/PM" or "A/P"; the letter alone is shown as itself.
    int Word(Section& sec, int i) {
        const int len = s_.size();
        const QChar c = s_[i];
        if (c == QLatin1Char('E') || c == QLatin1Char('e')) {
            if (i + 1 < len && (s_[i + 1] == QLatin1Char('+') || s_[i + 1] == QLatin1Char('-'))) {
                Add(sec, T::Exp, s_.mid(i, 2));
                return 2;
            } else {
                // "e" is the year in the en-US date codes.
                const int n = Run(i, c);
                Tok t;
                t.t = T::Year;
                t.n = 4;
                t.s = s_.mid(i, n);
                sec.toks.push_back(t);
                return n;
            }
        }
        if (c == QLatin1Char('G') || c == QLatin1Char('g')) {
            if (StartsWithCI(s_, i, QLatin1StringView("general"))) {
                Add(sec, T::General, s_.mid(i, 7));
                return 7;
            } else {
                AddLit(sec, QString(c));
                return 1;
            }
        }
        if (StartsWithCI(s_, i, QLatin1StringView("am/pm"))) {
            Add(sec, T::AmPm, s_.mid(i, 5));
            return 5;
        }
        if (StartsWithCI(s_, i, QLatin1StringView("a/p"))) {
            Add(sec, T::AmPm, s_.mid(i, 3));
            return 3;
        }
        AddLit(sec, QString(c));
        return 1;
    }

private:
    const QString& s_;

    int Run(int i, QChar c) const {
        int j = i;
        while (j < s_.size() && s_[j].toLower() == c.toLower()) ++j;
        return j - i;
    }
    int DateRun(Section& sec, int i, T kind) {
        const int n = Run(i, s_[i]);
        Tok t;
        t.t = kind;
        t.n = n;
        t.s = s_.mid(i, n);
        sec.toks.push_back(t);
        return n;
    }
    static void Add(Section& sec, T kind, const QString& text) {
        Tok t;
        t.t = kind;
        t.s = text;
        sec.toks.push_back(t);
    }
    static void AddLit(Section& sec, const QString& text) {
        if (!sec.toks.empty() && sec.toks.back().t == T::Lit) {
            sec.toks.back().s += text;
            return;
        }
        Add(sec, T::Lit, text);
    }

    static bool Bracket(Section& sec, const QString& body) {
        if (body.startsWith(QLatin1Char('$'))) {
            // [$€-407]: the currency symbol is shown, the locale id after "-" is not.
            const int dash = body.indexOf(QLatin1Char('-'));
            const QString symbol = body.mid(1, dash < 0 ? -1 : dash - 1);
            if (!symbol.isEmpty()) AddLit(sec, symbol);
            return true;
        }
        const QString lower = body.toLower();
        for (const NamedColor& nc : kNamedColors) {
            if (lower == QLatin1StringView(nc.name)) {
                sec.color = QColor::fromRgb(nc.rgb);
                return true;
            }
        }
        if (lower.startsWith(QLatin1String("color"))) {
            bool ok = false;
            const int n = lower.mid(5).toInt(&ok);
            if (!ok || n < 1 || n > 56) return false;
            sec.color = QColor::fromRgb(kPalette[n - 1]);
            return true;
        }
        if (!body.isEmpty() && (body[0] == QLatin1Char('<') || body[0] == QLatin1Char('>') ||
                                body[0] == QLatin1Char('='))) {
            int opLen = 1;
            if (body.startsWith(QLatin1String("<="))) { sec.op = CondOp::Le; opLen = 2; }
            else if (body.startsWith(QLatin1String(">="))) { sec.op = CondOp::Ge; opLen = 2; }
            else if (body.startsWith(QLatin1String("<>"))) { sec.op = CondOp::Ne; opLen = 2; }
            else if (body[0] == QLatin1Char('<')) sec.op = CondOp::Lt;
            else if (body[0] == QLatin1Char('>')) sec.op = CondOp::Gt;
            else sec.op = CondOp::Eq;
            bool ok = false;
            sec.condValue = body.mid(opLen).trimmed().toDouble(&ok);
            return ok && std::isfinite(sec.condValue);
        }
        if (AllOf(body, QLatin1Char('h')) || AllOf(body, QLatin1Char('m')) ||
            AllOf(body, QLatin1Char('s'))) {
            Tok t;
            const QChar c = body[0].toLower();
            t.t = c == QLatin1Char('h') ? T::ElapsedH : c == QLatin1Char('m') ? T::ElapsedM : T::ElapsedS;
            t.n = static_cast<int>(body.size());
            t.s = body;
            sec.toks.push_back(t);
            return true;
        }
        return true;  // [DBNum1], [natnum], locale tags and the like change nothing in en-US
    }

    static bool IsDatePart(T t) {
        switch (t) {
        case T::Year: case T::MonthOrMinute: case T::Month: case T::Day: case T::Hour:
        case T::Minute: case T::Second: case T::AmPm: case T::ElapsedH: case T::ElapsedM:
        case T::ElapsedS:
            return true;
        default:
            return false;
        }
    }

    static void ToLiteral(Tok& t) {
        t.t = T::Lit;
        t.role = Role::None;
    }

    static void Analyse(Section& sec) {
        bool hasDate = false, hasAt = false, hasDigit = false, hasGeneral = false;
        for (const Tok& t : sec.toks) {
            hasDate |= IsDatePart(t.t);
            hasAt |= t.t == T::At;
            hasDigit |= t.t == T::Digit;
            hasGeneral |= t.t == T::General;
        }
        if (hasDate) {
            sec.kind = Kind::Date;
            AnalyseDate(sec);
        } else if (hasAt && !hasDigit) {
            sec.kind = Kind::Text;
            for (Tok& t : sec.toks)
                if (t.t != T::At && t.t != T::Pad && t.t != T::Fill) ToLiteral(t);
        } else if (hasGeneral && !hasDigit) {
            sec.kind = Kind::General;
            for (Tok& t : sec.toks)
                if (t.t != T::General && t.t != T::Pad && t.t != T::Fill && t.t != T::At) ToLiteral(t);
        } else {
            sec.kind = Kind::Number;
            AnalyseNumber(sec);
        }
    }

    static void AnalyseDate(Section& sec) {
        auto& toks = sec.toks;
        const int count = static_cast<int>(toks.size());
        bool sawSeconds = false;
        for (int i = 0; i < count; ++i) {
            Tok& t = toks[i];
            switch (t.t) {
            case T::MonthOrMinute: {
                // "m" and "mm" are minutes right after hours or right before seconds.
                bool minute = false;
                if (t.n <= 2) {
                    for (int j = i - 1; j >= 0; --j) {
                        if (!IsDatePart(toks[j].t)) continue;
                        minute = toks[j].t == T::Hour || toks[j].t == T::ElapsedH;
                        break;
                    }
                    if (!minute) {
                        for (int j = i + 1; j < count; ++j) {
                            if (!IsDatePart(toks[j].t)) continue;
                            minute = toks[j].t == T::Second || toks[j].t == T::ElapsedS;
                            break;
                        }
                    }
                }
                t.t = minute ? T::Minute : T::Month;
                break;
            }
            case T::Second:
            case T::ElapsedS:
                sawSeconds = true;
                break;
            case T::AmPm: sec.ampm = true; break;
            case T::Point:
                if (sawSeconds && i + 1 < count && toks[i + 1].t == T::Digit &&
                    toks[i + 1].c == QLatin1Char('0')) {
                    int n = 0;
                    while (i + 1 + n < count && toks[i + 1 + n].t == T::Digit &&
                           toks[i + 1 + n].c == QLatin1Char('0'))
                        ++n;
                    for (int k = 1; k <= n; ++k) toks[i + k].t = T::Nothing;
                    t.t = T::SubSec;
                    t.n = std::min(n, 3);
                    sec.subDigits = std::max(sec.subDigits, t.n);
                    i += n;
                } else {
                    ToLiteral(t);
                }
                break;
            case T::Digit: case T::Comma: case T::Percent: case T::Exp: case T::Slash:
            case T::FixedDen: case T::At: case T::General:
                ToLiteral(t);
                break;
            default:
                break;
            }
            if (t.t == T::ElapsedH || t.t == T::ElapsedM || t.t == T::ElapsedS) sec.elapsed = true;
        }
    }

    static void AnalyseNumber(Section& sec) {
        auto& toks = sec.toks;
        const int count = static_cast<int>(toks.size());
        // The first "/" with a placeholder before it and a placeholder or number after it is a
        // fraction bar; any other "/" is shown as it stands.
        int bar = -1;
        for (int i = 0; i < count; ++i) {
            if (toks[i].t != T::Slash) continue;
            if (bar < 0 && i > 0 && i + 1 < count && toks[i - 1].t == T::Digit &&
                (toks[i + 1].t == T::Digit || toks[i + 1].t == T::FixedDen))
                bar = i;
            else
                ToLiteral(toks[i]);
        }
        if (bar >= 0) {
            sec.fraction = true;
            int numStart = bar - 1;
            while (numStart > 0 && toks[numStart - 1].t == T::Digit) --numStart;
            for (int i = 0; i < numStart; ++i)
                if (toks[i].t == T::Digit) Assign(toks[i], Role::Int, sec.intCount);
            for (int i = numStart; i < bar; ++i) Assign(toks[i], Role::Num, sec.numCount);
            int i = bar + 1;
            if (toks[i].t == T::FixedDen) {
                sec.fixedDen = std::max(1, toks[i].n);
                ++i;
            } else {
                for (; i < count && toks[i].t == T::Digit; ++i) {
                    Assign(toks[i], Role::Den, sec.denCount);
                    if (toks[i].c == QLatin1Char('0')) sec.denRightAligned = true;
                }
            }
            for (int j = 0; j < count; ++j) {
                Tok& t = toks[j];
                if ((t.t == T::Digit && t.role == Role::None) || t.t == T::Point || t.t == T::Exp ||
                    (t.t == T::FixedDen && j != bar + 1))
                    ToLiteral(t);
            }
        } else {
            int point = -1, exp = -1;
            for (int i = 0; i < count; ++i) {
                if (toks[i].t == T::Point) {
                    if (point < 0 && exp < 0) point = i; else ToLiteral(toks[i]);
                } else if (toks[i].t == T::Exp) {
                    if (exp < 0) exp = i; else ToLiteral(toks[i]);
                } else if (toks[i].t == T::FixedDen) {
                    ToLiteral(toks[i]);
                }
            }
            sec.sci = exp >= 0;
            for (int i = 0; i < count; ++i) {
                Tok& t = toks[i];
                if (t.t != T::Digit) continue;
                if (exp >= 0 && i > exp) Assign(t, Role::ExpDigit, sec.expCount);
                else if (point >= 0 && i > point) Assign(t, Role::Dec, sec.decCount);
                else Assign(t, Role::Int, sec.intCount);
            }
            if (sec.intCount == 0) sec.intAnchor = point >= 0 ? point : exp;
            if (sec.sci && sec.intCount > 1) {
                for (const Tok& t : toks)
                    if (t.role == Role::Int && t.c == QLatin1Char('#')) sec.engineering = true;
            }
        }
        AnalyseCommas(sec);
        sec.shift = std::clamp(sec.shift, -300, 300);
    }

    // Commas between integer placeholders group thousands; commas right after the last
    // placeholder of a run divide by a thousand each; any other comma is shown. A percent sign
    // multiplies by a hundred.
    static void AnalyseCommas(Section& sec) {
        auto& toks = sec.toks;
        const int count = static_cast<int>(toks.size());
        for (int i = 0; i < count; ++i) {
            Tok& t = toks[i];
            if (t.t == T::Percent) sec.shift += 2;
            if (t.t != T::Comma) continue;
            int prev = i - 1;
            while (prev >= 0 && toks[prev].s == QLatin1String(",") &&
                   (toks[prev].t == T::Comma || toks[prev].t == T::Nothing))
                --prev;
            if (prev < 0 || toks[prev].t != T::Digit) {
                ToLiteral(t);
                continue;
            }
            const Role role = toks[prev].role;
            bool laterSameRole = false;
            for (int j = i + 1; j < count && !laterSameRole; ++j)
                laterSameRole = toks[j].t == T::Digit && toks[j].role == role;
            if (role == Role::Int && laterSameRole) {
                sec.grouping = true;
                t.t = T::Nothing;
            } else if (!laterSameRole && !sec.fraction && (role == Role::Int || role == Role::Dec)) {
                sec.shift -= 3;
                t.t = T::Nothing;
            } else {
                ToLiteral(t);
            }
        }
    }

    static void Assign(Tok& t, Role role, int& counter) {
        t.role = role;
        t.index = counter++;
    }
};

// ---------------------------------------------------------------------------------------------
// Formatting.

struct Out {
    FormattedValue v;
    void Lit(const QString& s) { v.text += s; }
    void Ch(QChar c) { v.text += c; }
    void Pad(QChar width) {
        v.paddings.append({static_cast<int>(v.text.size()), width});
        v.text += QLatin1Char(' ');
    }
    void Fill(QChar c) {
        if (v.fillPos >= 0) return;  // one fill per cell; later ones are ignored
        v.fillChar = c;
        v.fillPos = static_cast<int>(v.text.size());
    }
    void PrependMinus() {
        v.text.prepend(QLatin1Char('-'));
        if (v.fillPos >= 0) ++v.fillPos;
        for (Padding& p : v.paddings) ++p.pos;
    }
};

FormattedValue Hashes() {
    FormattedValue v;
    v.text = QStringLiteral("#");
    v.fillChar = QLatin1Char('#');
    v.fillPos = 0;
    return v;
}

// Digits right-aligned into placeholders: the first placeholder takes any extra digits,
// "0" shows a zero where no digit is left, "?" a space, "#" nothing.
void EmitAligned(Out& o, const QString& digits, const Tok& t, int count, bool grouping) {
    const int len = static_cast<int>(digits.size());
    const int total = std::max(len, count);
    const int hi = t.index == 0 ? total - 1 : count - 1 - t.index;
    const int lo = count - 1 - t.index;
    for (int p = hi; p >= lo; --p) {
        QChar c;
        if (p < len) c = digits[len - 1 - p];
        else if (t.c == QLatin1Char('0')) c = QLatin1Char('0');
        else if (t.c == QLatin1Char('?')) c = QLatin1Char(' ');
        else continue;
        o.Ch(c);
        if (grouping && p > 0 && p % 3 == 0) o.Ch(c == QLatin1Char(' ') ? c : QLatin1Char(','));
    }
}

QString FixedText(const Decimal& r) {
    QString s;
    r.IntDigits(s);
    if (s.isEmpty()) s = QStringLiteral("0");
    QString frac;
    const int fracLen = std::max(0, r.n - r.point);
    for (int i = 0; i < fracLen; ++i) frac += QLatin1Char(r.FracDigit(i));
    if (!frac.isEmpty()) s += QLatin1Char('.') + frac;
    return s;
}

// "General": the shortest faithful text within `width` characters, switching to scientific
// notation when fixed notation would not fit or would hide significant digits.
QString GeneralNumber(double av, int width) {
    const Decimal d = Decimal::Of(av);
    if (d.Zero()) return QStringLiteral("0");
    width = std::clamp(width, 1, 64);
    int e = d.point - 1;
    if (e >= 0) {
        if (e + 1 <= width) {
            Decimal r = d;
            r.Round(std::max(0, width - (e + 1) - 1));
            const QString s = FixedText(r);
            if (s.size() <= width) return s;
        }
    } else if (width >= 3) {
        Decimal r = d;
        r.Round(width - 2);
        if (!r.Zero()) {
            const int expLen = -e >= 100 ? 5 : 4;
            const int sciDigits = std::max(1, width - expLen - 1);
            if (r.n >= std::min(d.n, sciDigits)) return FixedText(r);
        }
    }
    Decimal m = d;
    int expLen = std::abs(e) >= 100 ? 5 : 4;
    m.point -= e;
    m.Round(std::max(0, width - expLen - 2));
    if (m.point > 1) {  // 9.999995 rounded up to 10
        ++e;
        m.point -= 1;
    }
    QString s = FixedText(m);
    s += e < 0 ? QStringLiteral("E-") : QStringLiteral("E+");
    const QString digits = QString::number(std::abs(e));
    if (digits.size() < 2) s += QLatin1Char('0');
    s += digits;
    return s;
}

// The closest fraction p/q to x with q <= maxDen, by continued fractions.
void BestFraction(double x, long long maxDen, long long& p, long long& q) {
    long long p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    double r = x;
    for (int iter = 0; iter < 64; ++iter) {
        const double af = std::floor(r);
        if (af > 1e15) break;
        const long long a = static_cast<long long>(af);
        const long long q2 = q0 + a * q1;
        if (q2 > maxDen) break;
        const long long p2 = p0 + a * p1;
        p0 = p1; q0 = q1; p1 = p2; q1 = q2;
        const double rest = r - af;
        if (rest < 1e-12) break;
        r = 1.0 / rest;
    }
    if (q1 == 0) {
        p = std::llround(x);
        q = 1;
        return;
    }
    const long long k = (maxDen - q0) / q1;
    const double b1 = static_cast<double>(p0 + k * p1) / static_cast<double>(q0 + k * q1);
    const double b2 = static_cast<double>(p1) / static_cast<double>(q1);
    if (k > 0 && std::abs(b1 - x) < std::abs(b2 - x)) {
        p = p0 + k * p1;
        q = q0 + k * q1;
    } else {
        p = p1;
        q = q1;
    }
}

void EmitCommon(Out& o, const Tok& t, const QString* text = nullptr) {
    switch (t.t) {
    case T::Lit: o.Lit(t.s); break;
    case T::Pad: o.Pad(t.c); break;
    case T::Fill: o.Fill(t.c); break;
    case T::At: if (text) o.Lit(*text); break;
    default: break;
    }
}

// A number's digits as a section shows them, apart from the decimals (which come from the
// rounded Decimal itself).
struct NumberParts {
    QString intDigits, expDigits, numDigits, denDigits;
    int lastFrac = -1;  // the last decimal that is not 0; -1 when none
    int exponent = 0;
    bool blankFraction = false;
};

// The digits of a fraction: the whole part (when the format shows one), numerator and
// denominator; a fraction that comes out as 0 is shown blank.
void FractionParts(const Section& sec, double av, NumberParts& n) {
    double x = av * std::pow(10.0, sec.shift);
    if (!std::isfinite(x)) x = std::numeric_limits<double>::max();
    const bool hasInt = sec.intCount > 0;
    double whole = hasInt ? std::floor(x) : 0.0;
    long long p = 0, q = 1;
    if (!hasInt && x >= 1e9) {
        // Too large for a meaningful fraction: everything goes into the numerator.
        double top = std::round(sec.fixedDen > 0 ? x * sec.fixedDen : x);
        if (!std::isfinite(top)) top = std::numeric_limits<double>::max();
        Decimal::Of(top).IntDigits(n.numDigits);
        n.denDigits = QStringLiteral("1");
    } else {
        const double f = x - whole;
        if (sec.fixedDen > 0) {
            q = sec.fixedDen;
            p = std::llround(f * static_cast<double>(q));
        } else {
            const int digits = std::clamp(sec.denCount, 1, 7);
            long long maxDen = 1;
            for (int i = 0; i < digits; ++i) maxDen *= 10;
            BestFraction(f, maxDen - 1, p, q);
        }
        if (hasInt && p >= q) {  // 0.99 over eighths is a whole 1
            whole += static_cast<double>(p / q);
            p %= q;
        }
        n.numDigits = QString::number(p);
        n.denDigits = QString::number(q);
    }
    if (hasInt) {
        Decimal w = Decimal::Of(whole);
        w.IntDigits(n.intDigits);
        if (p == 0) {
            n.blankFraction = true;
            if (n.intDigits.isEmpty()) n.intDigits = QStringLiteral("0");
        }
    }
}

// The mantissa (into d) and exponent of a scientific or engineering format; rounding that
// carries into a new digit moves the exponent on.
void ScientificParts(const Section& sec, Decimal& d, NumberParts& parts) {
    if (!d.Zero()) {
        const int n = std::max(sec.intCount, 0);
        int e = d.point - 1;
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (sec.engineering) {
                parts.exponent = static_cast<int>(std::floor(static_cast<double>(e) / n)) * n;
            } else {
                parts.exponent = e - (std::max(n, 1) - 1);
                if (n == 0) parts.exponent = e + 1;
            }
            Decimal m = d;
            m.point -= parts.exponent;
            m.Round(sec.decCount);
            if (m.point > e - parts.exponent + 1 && attempt < 2) {  // rounding carried into a new digit
                ++e;
                continue;
            }
            d = m;
            break;
        }
    }
    d.IntDigits(parts.intDigits);
    parts.expDigits = QString::number(std::abs(parts.exponent));
    if (parts.exponent == 0) parts.expDigits.clear();
}

// The section's tokens with the number's parts put in.
void EmitNumber(Out& o, const Section& sec, const Decimal& d, const NumberParts& n) {
    const int count = static_cast<int>(sec.toks.size());
    for (int i = 0; i < count; ++i) {
        const Tok& t = sec.toks[i];
        if (i == sec.intAnchor) o.Lit(n.intDigits);
        switch (t.t) {
        case T::Digit:
            switch (t.role) {
            case Role::Int: EmitAligned(o, n.intDigits, t, sec.intCount, sec.grouping); break;
            case Role::Dec:
                if (t.index <= n.lastFrac) o.Ch(QLatin1Char(d.FracDigit(t.index)));
                else if (t.c == QLatin1Char('0')) o.Ch(QLatin1Char('0'));
                else if (t.c == QLatin1Char('?')) o.Ch(QLatin1Char(' '));
                break;
            case Role::ExpDigit: EmitAligned(o, n.expDigits, t, sec.expCount, false); break;
            case Role::Num:
                if (n.blankFraction) o.Ch(QLatin1Char(' '));
                else EmitAligned(o, n.numDigits, t, sec.numCount, false);
                break;
            case Role::Den:
                if (n.blankFraction) {
                    o.Ch(QLatin1Char(' '));
                } else if (sec.denRightAligned) {
                    EmitAligned(o, n.denDigits, t, sec.denCount, false);
                } else {
                    // Left-aligned so the fraction bars of a column line up.
                    const int len = static_cast<int>(n.denDigits.size());
                    if (t.index < len) {
                        if (t.index == sec.denCount - 1) o.Lit(n.denDigits.mid(t.index));
                        else o.Ch(n.denDigits[t.index]);
                    }
                    else if (t.c == QLatin1Char('?')) o.Ch(QLatin1Char(' '));
                }
                break;
            case Role::None: break;
            }
            break;
        case T::Point: o.Ch(QLatin1Char('.')); break;
        case T::Percent: o.Ch(QLatin1Char('%')); break;
        case T::Exp:
            o.Ch(t.s[0]);
            if (n.exponent < 0) o.Ch(QLatin1Char('-'));
            else if (t.s[1] == QLatin1Char('+')) o.Ch(QLatin1Char('+'));
            break;
        case T::Slash: o.Ch(n.blankFraction ? QLatin1Char(' ') : QLatin1Char('/')); break;
        case T::FixedDen:
            if (n.blankFraction) o.Lit(QString(t.s.size(), QLatin1Char(' ')));
            else o.Lit(t.s);
            break;
        default: EmitCommon(o, t); break;
        }
    }
}

FormattedValue FormatNumber(const Section& sec, double av, int generalMaxChars) {
    Out o;
    o.v.color = sec.color;
    if (sec.kind == Kind::General || sec.kind == Kind::Text) {
        const QString g = GeneralNumber(av, generalMaxChars);
        for (const Tok& t : sec.toks) {
            if (t.t == T::General) o.Lit(g);
            else EmitCommon(o, t, &g);
        }
        return o.v;
    }

    Decimal d = Decimal::Of(av);
    if (!d.Zero()) d.point += sec.shift;
    NumberParts n;
    if (sec.fraction) {
        FractionParts(sec, av, n);
    } else if (sec.sci) {
        ScientificParts(sec, d, n);
    } else {
        d.Round(sec.decCount);
        d.IntDigits(n.intDigits);
    }
    if (sec.decCount > 0) {
        for (int i = sec.decCount - 1; i >= 0; --i) {
            if (d.FracDigit(i) != '0') {
                n.lastFrac = i;
                break;
            }
        }
    }
    EmitNumber(o, sec, d, n);
    return o.v;
}

constexpr const char* kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kDays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

void ZeroPadded(Out& o, long long v, int width) {
    QString s = QString::number(v);
    while (s.size() < width) s.prepend(QLatin1Char('0'));
    o.Lit(s);
}

// The calendar day of a serial day number, as the spreadsheet counts it.
struct CalendarDay {
    int year = 0, month = 1, day = 0;
    int weekday = 0;  // 0 = Sunday
};

CalendarDay CalendarOf(long long days, bool date1904) {
    CalendarDay cal;
    QDate date;
    if (date1904) {
        date = QDate(1904, 1, 1).addDays(days);
        cal.weekday = date.dayOfWeek() % 7;
    } else {
        // The 1900 system counts a 29 February 1900 that never was (serial 60) and calls
        // serial 0 "1/0/1900"; its weekdays before March 1900 follow that count.
        cal.weekday = static_cast<int>((days + 6) % 7);
        if (days == 0) {
            cal.year = 1900;
            cal.month = 1;
            cal.day = 0;
        } else if (days == 60) {
            cal.year = 1900;
            cal.month = 2;
            cal.day = 29;
        } else {
            date = days < 60 ? QDate(1899, 12, 31).addDays(days) : QDate(1899, 12, 30).addDays(days);
        }
    }
    if (date.isValid()) {
        cal.year = date.year();
        cal.month = date.month();
        cal.day = date.day();
    }
    return cal;
}

FormattedValue FormatDate(const Section& sec, double v, bool date1904) {
    // 9999-12-31 is the last day either date system can show.
    const double maxSerial = date1904 ? 2957003.0 : 2958465.0;
    if (v < 0 || !(v < (sec.elapsed ? 1e9 : maxSerial + 1))) return Hashes();
    long long unit = 1;
    for (int i = 0; i < sec.subDigits; ++i) unit *= 10;
    const long long perDay = 86400LL * unit;
    long long days = static_cast<long long>(std::floor(v));
    long long ticks = std::llround((v - static_cast<double>(days)) * static_cast<double>(perDay));
    if (ticks >= perDay) {
        ++days;
        ticks -= perDay;
    }
    const long long total = days * perDay + ticks;
    const long long secs = ticks / unit;
    const int hour = static_cast<int>(secs / 3600);
    const int minute = static_cast<int>(secs / 60 % 60);
    const int second = static_cast<int>(secs % 60);
    const long long sub = ticks % unit;

    CalendarDay cal;
    bool needDate = false;
    for (const Tok& t : sec.toks)
        needDate |= t.t == T::Year || t.t == T::Month || t.t == T::Day;
    if (needDate) {
        if (days > static_cast<long long>(maxSerial)) return Hashes();
        cal = CalendarOf(days, date1904);
    }
    const int year = cal.year, month = cal.month, day = cal.day, weekday = cal.weekday;

    Out o;
    o.v.color = sec.color;
    for (const Tok& t : sec.toks) {
        switch (t.t) {
        case T::Year:
            if (t.n <= 2) ZeroPadded(o, year % 100, 2);
            else ZeroPadded(o, year, 4);
            break;
        case T::Month:
            if (t.n <= 2) ZeroPadded(o, month, t.n);
            else if (t.n == 3) o.Lit(QString::fromLatin1(kMonths[month - 1], 3));
            else if (t.n == 5) o.Ch(QLatin1Char(kMonths[month - 1][0]));
            else o.Lit(QString::fromLatin1(kMonths[month - 1]));
            break;
        case T::Day:
            if (t.n <= 2) ZeroPadded(o, day, t.n);
            else if (t.n == 3) o.Lit(QString::fromLatin1(kDays[weekday], 3));
            else o.Lit(QString::fromLatin1(kDays[weekday]));
            break;
        case T::Hour: {
            int h = hour;
            if (sec.ampm) {
                h %= 12;
                if (h == 0) h = 12;
            }
            ZeroPadded(o, h, std::min(t.n, 2));
            break;
        }
        case T::Minute: ZeroPadded(o, minute, std::min(t.n, 2)); break;
        case T::Second: ZeroPadded(o, second, std::min(t.n, 2)); break;
        case T::AmPm:
            // The letters as written: "AM/PM" gives "AM" or "PM", "a/p" gives "a" or "p".
            if (t.s.size() == 5) o.Lit(hour < 12 ? t.s.left(2) : t.s.mid(3, 2));
            else o.Ch(hour < 12 ? t.s[0] : t.s[2]);
            break;
        case T::SubSec: {
            QString digits = QString::number(sub);
            while (digits.size() < sec.subDigits) digits.prepend(QLatin1Char('0'));
            o.Ch(QLatin1Char('.'));
            o.Lit(digits.left(t.n));
            break;
        }
        case T::ElapsedH: ZeroPadded(o, total / (3600 * unit), t.n); break;
        case T::ElapsedM: ZeroPadded(o, total / (60 * unit), t.n); break;
        case T::ElapsedS: ZeroPadded(o, total / unit, t.n); break;
        default: EmitCommon(o, t); break;
        }
    }
    return o.v;
}

FormattedValue FormatText(const Section& sec, const QString& text) {
    Out o;
    o.v.color = sec.color;
    for (const Tok& t : sec.toks) EmitCommon(o, t, &text);
    return o.v;
}

const Format& GeneralFormat() {
    static const Format f = [] {
        Format g;
        g.numberSections = 0;
        return g;
    }();
    return f;
}

// Parsing once per code matters: painting formats every visible cell, and a workbook uses a
// handful of codes. One cache per thread keeps it lock-free.
const Format& Parsed(const QString& code) {
    if (code.isEmpty() || code.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0)
        return GeneralFormat();
    thread_local QHash<QString, std::shared_ptr<const Format>> cache;
    auto it = cache.constFind(code);
    if (it != cache.constEnd()) return **it;
    auto f = std::make_shared<Format>();
    if (!Parser(code).Run(*f)) {
        f->secs.clear();
        f->numberSections = 0;
        f->textSection = -1;
    }
    if (cache.size() >= 4096) cache.clear();
    cache.insert(code, f);
    return *f;
}

FormattedValue FormatWithSections(const Format& f, double v, bool date1904, int generalMaxChars) {
    FormattedValue out;
    if (!std::isfinite(v)) {
        out.text = QStringLiteral("#NUM!");
        return out;
    }
    if (f.numberSections == 0) {
        out.text = GeneralNumber(std::abs(v), generalMaxChars);
        if (v < 0) out.text.prepend(QLatin1Char('-'));
        return out;
    }
    const int n = f.numberSections;
    const Section& s0 = f.secs[0];
    const Section* s1 = n >= 2 ? &f.secs[1] : nullptr;
    int pick = 0;
    if (s0.op == CondOp::None && (!s1 || s1->op == CondOp::None)) {
        if (n >= 2 && v < 0) pick = 1;
        else if (n == 3 && v == 0) pick = 2;
    } else {
        // A first section without a condition takes what the second's condition leaves.
        const bool m0 = s0.op != CondOp::None ? s0.Matches(v) : !(s1 && s1->Matches(v));
        if (m0) {
            pick = 0;
        } else if (s1 && s1->Matches(v)) {
            pick = 1;
        } else if (n == 3) {
            pick = 2;
        } else {
            // No section takes the value: shown as General, as a cell without a format.
            out.text = GeneralNumber(std::abs(v), generalMaxChars);
            if (v < 0) out.text.prepend(QLatin1Char('-'));
            return out;
        }
    }
    const Section& sec = f.secs[pick];
    bool minus = v < 0;
    if (minus && pick == 1 && (sec.op == CondOp::None || sec.ConditionImpliesNegative())) minus = false;
    if (minus && pick == 0 && sec.ConditionImpliesNegative()) minus = false;
    if (sec.kind == Kind::Date) {
        // A negative section shows the magnitude; a date or time can't carry a minus sign.
        const double shown = (v < 0 && !minus) ? -v : v;
        if (shown < 0) return Hashes();
        return FormatDate(sec, shown, date1904);
    }
    Out o;
    o.v = FormatNumber(sec, std::abs(v), generalMaxChars);
    if (minus) o.PrependMinus();
    return o.v;
}

}  // namespace

QString BuiltInFormatCode(int numFmtId) {
    switch (numFmtId) {
    case 0: return QStringLiteral("General");
    case 1: return QStringLiteral("0");
    case 2: return QStringLiteral("0.00");
    case 3: return QStringLiteral("#,##0");
    case 4: return QStringLiteral("#,##0.00");
    case 5: return QStringLiteral("\"$\"#,##0_);\\(\"$\"#,##0\\)");
    case 6: return QStringLiteral("\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)");
    case 7: return QStringLiteral("\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)");
    case 8: return QStringLiteral("\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)");
    case 9: return QStringLiteral("0%");
    case 10: return QStringLiteral("0.00%");
    case 11: return QStringLiteral("0.00E+00");
    case 12: return QStringLiteral("# ?/?");
    case 13: return QStringLiteral("# ?\?/??");
    // 14 and 22 follow the system's short date; en-US shows them like this.
    case 14: return QStringLiteral("m/d/yyyy");
    case 15: return QStringLiteral("d-mmm-yy");
    case 16: return QStringLiteral("d-mmm");
    case 17: return QStringLiteral("mmm-yy");
    case 18: return QStringLiteral("h:mm AM/PM");
    case 19: return QStringLiteral("h:mm:ss AM/PM");
    case 20: return QStringLiteral("h:mm");
    case 21: return QStringLiteral("h:mm:ss");
    case 22: return QStringLiteral("m/d/yyyy h:mm");
    // The East Asian date and time IDs, as an en-US spreadsheet shows them.
    case 27: case 28: case 29: case 30: case 31: case 36:
    case 50: case 51: case 52: case 53: case 54: case 57: case 58:
        return QStringLiteral("m/d/yyyy");
    case 32: case 33: case 34: case 35: case 55: case 56:
        return QStringLiteral("h:mm:ss");
    case 37: return QStringLiteral("#,##0 ;(#,##0)");
    case 38: return QStringLiteral("#,##0 ;[Red](#,##0)");
    case 39: return QStringLiteral("#,##0.00;(#,##0.00)");
    case 40: return QStringLiteral("#,##0.00;[Red](#,##0.00)");
    case 41: return QStringLiteral("_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)");
    case 42: return QStringLiteral("_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)");
    case 43: return QStringLiteral("_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)");
    case 44: return QStringLiteral("_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)");
    case 45: return QStringLiteral("mm:ss");
    case 46: return QStringLiteral("[h]:mm:ss");
    case 47: return QStringLiteral("mmss.0");
    case 48: return QStringLiteral("##0.0E+0");
    case 49: return QStringLiteral("@");
    default: return QStringLiteral("General");
    }
}

FormattedValue FormatValue(const CellValue& value, const QString& formatCode, bool date1904,
                           int generalMaxChars) {
    switch (value.type) {
    case ValueType::Empty: return {};
    case ValueType::Error: {
        FormattedValue out;
        out.text = value.text;
        return out;
    }
    case ValueType::Boolean: {
        FormattedValue out;
        out.text = value.number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        return out;
    }
    case ValueType::Text: {
        const Format& f = Parsed(formatCode);
        if (f.textSection >= 0) return FormatText(f.secs[f.textSection], value.text);
        FormattedValue out;
        out.text = value.text;
        return out;
    }
    case ValueType::Number:
        return FormatWithSections(Parsed(formatCode), value.number, date1904, generalMaxChars);
    }
    return {};
}

bool IsDateFormat(const QString& formatCode) {
    const Format& f = Parsed(formatCode);
    return f.numberSections > 0 && f.secs[0].kind == Kind::Date;
}

}  // namespace xl
