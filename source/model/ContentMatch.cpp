#include "model/ContentMatch.h"

namespace {
const QChar kSeparator = QLatin1Char('`');
const QString kBottom = QStringLiteral("bottom=");
const QString kAnchor = QStringLiteral("anchor=");
const QString kContent = QStringLiteral("content=");
}  // namespace

void parseContentMatch(const QString& ContentMatch, QString& botRng, QString& aRng,
                       QString& Content) {
    // The anchor text comes last and runs to the end, so the other keys are only looked for
    // in front of the first "content=": an anchor text holding "bottom=" or "anchor=" is never
    // taken for a key.
    const qsizetype firstContent = ContentMatch.indexOf(kContent, 0, Qt::CaseInsensitive);
    const QString head = firstContent < 0 ? ContentMatch : ContentMatch.left(firstContent);

    botRng.clear();
    const qsizetype bottom = head.indexOf(kBottom, 0, Qt::CaseInsensitive);
    if (bottom >= 0) {
        const qsizetype from = bottom + kBottom.size();
        const qsizetype end = ContentMatch.indexOf(kSeparator, from);
        botRng = end < 0 ? ContentMatch.mid(from) : ContentMatch.mid(from, end - from);
    }

    const qsizetype anchor = head.indexOf(kAnchor, 0, Qt::CaseInsensitive);
    if (anchor < 0)
        return;
    const qsizetype from = anchor + kAnchor.size();
    const qsizetype end = ContentMatch.indexOf(kSeparator, from);
    if (end < 0)
        return;
    // The text part follows the anchor part, so a "content=" inside an anchor text that
    // itself holds the word is never taken for the key.
    const qsizetype content = ContentMatch.indexOf(kContent, end, Qt::CaseInsensitive);
    if (content < 0) {
        aRng.clear();
        Content.clear();
        return;
    }
    aRng = ContentMatch.mid(from, end - from);
    Content = ContentMatch.mid(content + kContent.size());
}
