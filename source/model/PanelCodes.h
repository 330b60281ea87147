#pragma once
// The kinds a panel's row stores as one-letter codes, as enums in the program: the codes are
// read and written only where the row is (clsWorkspacePanel's column table) and in the
// statements that select by them. A code the program does not know reads as None and is
// written back as no value, like a column that was empty.

#include <QString>

// What the panel shows. ContentType: "S" a range, "C" a chart, "P" a picture file, "M" a range
// read the same way as "S".
enum class PanelContent { None, Range, Chart, Picture, ReadRange };
// How it was pasted. IsCustom: "Y" with Paste Custom (from a prepared copy), "N" plainly.
enum class PanelPaste { None, Plain, Custom };
// How the picture fits the window. ViewType: "A" the window fits the picture, "C" the window
// crops it, "Z" the picture is zoomed to the window.
enum class PanelView { None, AutoSize, Crop, Zoom };

// A range or a chart of a workbook, rather than a picture file.
inline bool ShowsWorkbook(PanelContent content) {
    return content == PanelContent::Range || content == PanelContent::Chart ||
           content == PanelContent::ReadRange;
}
// A range of cells ("S" or "M").
inline bool ShowsRange(PanelContent content) {
    return content == PanelContent::Range || content == PanelContent::ReadRange;
}

inline QString StoredCode(PanelContent content) {
    switch (content) {
    case PanelContent::Range: return QStringLiteral("S");
    case PanelContent::Chart: return QStringLiteral("C");
    case PanelContent::Picture: return QStringLiteral("P");
    case PanelContent::ReadRange: return QStringLiteral("M");
    case PanelContent::None: break;
    }
    return QString();
}

inline QString StoredCode(PanelPaste paste) {
    switch (paste) {
    case PanelPaste::Plain: return QStringLiteral("N");
    case PanelPaste::Custom: return QStringLiteral("Y");
    case PanelPaste::None: break;
    }
    return QString();
}

inline QString StoredCode(PanelView view) {
    switch (view) {
    case PanelView::AutoSize: return QStringLiteral("A");
    case PanelView::Crop: return QStringLiteral("C");
    case PanelView::Zoom: return QStringLiteral("Z");
    case PanelView::None: break;
    }
    return QString();
}

// The codes are compared as they are stored, letter case included.
inline PanelContent ContentFromCode(const QString& code) {
    if (code == QLatin1String("S"))
        return PanelContent::Range;
    if (code == QLatin1String("C"))
        return PanelContent::Chart;
    if (code == QLatin1String("P"))
        return PanelContent::Picture;
    if (code == QLatin1String("M"))
        return PanelContent::ReadRange;
    return PanelContent::None;
}

inline PanelPaste PasteFromCode(const QString& code) {
    if (code == QLatin1String("N"))
        return PanelPaste::Plain;
    if (code == QLatin1String("Y"))
        return PanelPaste::Custom;
    return PanelPaste::None;
}

inline PanelView ViewFromCode(const QString& code) {
    if (code == QLatin1String("A"))
        return PanelView::AutoSize;
    if (code == QLatin1String("C"))
        return PanelView::Crop;
    if (code == QLatin1String("Z"))
        return PanelView::Zoom;
    return PanelView::None;
}
