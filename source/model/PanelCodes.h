#pragma once
// The kinds a panel's row stores as one-letter codes, as enums in the program: the codes are
// read and written only where the row is (clsWorkspacePanel's column table) and in the
// statements that select by them, which compare them exactly (the columns themselves compare
// text without regard to case). A code the program does not know reads as None; the panel
// record keeps it and writes it back as it was, since another version may know it.

#include <QString>

#include <cstddef>

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

// Each kind beside the code it is stored as. The codes are compared as they are stored, letter
// case included.
template <typename Kind>
struct StoredAs {
    Kind kind;
    const char* code;
};
inline constexpr StoredAs<PanelContent> kContentCodes[] = {{PanelContent::Range, "S"},
                                                           {PanelContent::Chart, "C"},
                                                           {PanelContent::Picture, "P"},
                                                           {PanelContent::ReadRange, "M"}};
inline constexpr StoredAs<PanelPaste> kPasteCodes[] = {{PanelPaste::Plain, "N"}, {PanelPaste::Custom, "Y"}};
inline constexpr StoredAs<PanelView> kViewCodes[] = {
    {PanelView::AutoSize, "A"}, {PanelView::Crop, "C"}, {PanelView::Zoom, "Z"}};

template <typename Kind, std::size_t N>
QString CodeOf(const StoredAs<Kind> (&codes)[N], Kind kind) {
    for (const StoredAs<Kind>& entry : codes)
        if (entry.kind == kind)
            return QLatin1String(entry.code);
    return QString();
}

template <typename Kind, std::size_t N>
Kind KindOf(const StoredAs<Kind> (&codes)[N], const QString& code) {
    for (const StoredAs<Kind>& entry : codes)
        if (code == QLatin1String(entry.code))
            return entry.kind;
    return Kind::None;
}

inline QString StoredCode(PanelContent content) { return CodeOf(kContentCodes, content); }
inline QString StoredCode(PanelPaste paste) { return CodeOf(kPasteCodes, paste); }
inline QString StoredCode(PanelView view) { return CodeOf(kViewCodes, view); }
inline PanelContent ContentFromCode(const QString& code) { return KindOf(kContentCodes, code); }
inline PanelPaste PasteFromCode(const QString& code) { return KindOf(kPasteCodes, code); }
inline PanelView ViewFromCode(const QString& code) { return KindOf(kViewCodes, code); }
