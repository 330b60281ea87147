#pragma once
// A small valid workbook assembled in memory, one of whose XML parts the fuzzer supplies, so
// that mutations reach the XML readers instead of stopping at the zip's checksums. An input
// that does not start with "PK" is "<letter><part XML>": w workbook, s sheet, t styles,
// h shared strings, d drawing, c chart.

#include <QByteArray>
#include <QList>
#include <QPair>

#include <zip.h>

namespace fuzzing {

// The parts stored, or deflated as a sender would make a file small (but those named in
// `keptStored`).
inline QByteArray ZipOf(const QList<QPair<const char*, QByteArray>>& parts, bool deflate = false,
                        const QList<QByteArray>& keptStored = {}) {
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = zip_source_buffer_create(nullptr, 0, 0, &err);
    zip_source_keep(src);
    zip_t* za = zip_open_from_source(src, ZIP_TRUNCATE, &err);
    for (const auto& [name, data] : parts) {
        zip_source_t* s = zip_source_buffer(za, data.constData(), zip_uint64_t(data.size()), 0);
        const zip_int64_t index = zip_file_add(za, name, s, ZIP_FL_OVERWRITE);
        // Deflating every fuzz input would cost more than the read.
        if (index >= 0 && (!deflate || keptStored.contains(QByteArray(name))))
            zip_set_file_compression(za, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    zip_close(za);
    QByteArray out;
    if (zip_source_open(src) == 0) {
        char buf[65536];
        zip_int64_t n;
        while ((n = zip_source_read(src, buf, sizeof buf)) > 0)
            out.append(buf, qsizetype(n));
        zip_source_close(src);
    }
    zip_source_free(src);
    zip_error_fini(&err);
    return out;
}

inline QByteArray SyntheticPackage(char which, const QByteArray& xml) {
    const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                          "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    auto rels = [&](const QList<QPair<QByteArray, QByteArray>>& items) {
        QByteArray x = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
        int id = 1;
        for (const auto& [type, target] : items)
            x += "<Relationship Id=\"rId" + QByteArray::number(id++) + "\" Type=\"" + rel + type +
                 "\" Target=\"" + target + "\"/>";
        return x + "</Relationships>";
    };
    QByteArray workbook = "<workbook " + ns + "><bookViews><workbookView activeTab=\"0\"/></bookViews>"
                          "<sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    QByteArray sheet = "<worksheet " + ns + "><sheetViews><sheetView><pane ySplit=\"1\" topLeftCell=\"A2\" "
                       "state=\"frozen\"/></sheetView></sheetViews><cols><col min=\"2\" max=\"3\" width=\"12\"/></cols>"
                       "<sheetData><row r=\"1\" ht=\"20\"><c r=\"A1\" t=\"s\" s=\"1\"><v>0</v></c><c r=\"B1\"><v>2.5</v></c>"
                       "</row></sheetData><mergeCells><mergeCell ref=\"A3:B4\"/></mergeCells><drawing r:id=\"rId1\"/></worksheet>";
    QByteArray styles = "<styleSheet " + ns + "><numFmts><numFmt numFmtId=\"164\" formatCode=\"0.0%\"/></numFmts>"
                        "<fonts><font><sz val=\"11\"/><name val=\"Calibri\"/></font><font><b/><color theme=\"4\" tint=\"0.4\"/></font></fonts>"
                        "<fills><fill><patternFill/></fill><fill><patternFill patternType=\"gray125\"/></fill></fills>"
                        "<borders><border/></borders><cellXfs><xf/><xf numFmtId=\"164\" fontId=\"1\"/></cellXfs></styleSheet>";
    QByteArray strings = "<sst " + ns + "><si><r><t>a</t></r><r><t>b</t></r></si></sst>";
    QByteArray drawing = "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
                         "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
                         "xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
                         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                         "<xdr:twoCellAnchor><xdr:from><xdr:col>1</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>1</xdr:row>"
                         "<xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>5</xdr:col><xdr:colOff>0</xdr:colOff>"
                         "<xdr:row>9</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:to><xdr:graphicFrame><xdr:nvGraphicFramePr>"
                         "<xdr:cNvPr id=\"2\" name=\"Chart 1\"/></xdr:nvGraphicFramePr><a:graphic><a:graphicData>"
                         "<c:chart r:id=\"rId1\"/></a:graphicData></a:graphic></xdr:graphicFrame><xdr:clientData/>"
                         "</xdr:twoCellAnchor></xdr:wsDr>";
    QByteArray chart = "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
                       "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><c:chart><c:plotArea><c:barChart>"
                       "<c:barDir val=\"col\"/><c:grouping val=\"stacked\"/><c:ser><c:idx val=\"0\"/><c:tx><c:v>N</c:v></c:tx>"
                       "<c:cat><c:strLit><c:ptCount val=\"2\"/><c:pt idx=\"0\"><c:v>x</c:v></c:pt></c:strLit></c:cat>"
                       "<c:val><c:numLit><c:ptCount val=\"2\"/><c:pt idx=\"1\"><c:v>3</c:v></c:pt></c:numLit></c:val>"
                       "</c:ser></c:barChart></c:plotArea><c:legend/></c:chart></c:chartSpace>";
    switch (which) {
    case 'w': workbook = xml; break;
    case 's': sheet = xml; break;
    case 't': styles = xml; break;
    case 'h': strings = xml; break;
    case 'd': drawing = xml; break;
    case 'c': chart = xml; break;
    default: sheet = xml; break;
    }
    return ZipOf({
        {"[Content_Types].xml",
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default Extension=\"xml\" "
         "ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
         "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>"},
        {"_rels/.rels", rels({{"officeDocument", "xl/workbook.xml"}})},
        {"xl/workbook.xml", workbook},
        {"xl/_rels/workbook.xml.rels",
         rels({{"worksheet", "worksheets/sheet1.xml"}, {"styles", "styles.xml"}, {"sharedStrings", "sharedStrings.xml"}})},
        {"xl/worksheets/sheet1.xml", sheet},
        {"xl/worksheets/_rels/sheet1.xml.rels", rels({{"drawing", "../drawings/drawing1.xml"}})},
        {"xl/styles.xml", styles},
        {"xl/sharedStrings.xml", strings},
        {"xl/drawings/drawing1.xml", drawing},
        {"xl/drawings/_rels/drawing1.xml.rels", rels({{"chart", "../charts/chart1.xml"}})},
        {"xl/charts/chart1.xml", chart},
    });
}

// The bytes the reader is given for one fuzz input.
inline QByteArray WorkbookBytesFor(const QByteArray& input) {
    if (input.startsWith("PK") || input.isEmpty())
        return input;
    return SyntheticPackage(input.at(0), input.mid(1));
}

}  // namespace fuzzing
