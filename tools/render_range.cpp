// render-range <workbook> <sheet> <range or chart name> <out.png>
// A chart saved without a name is named by its place among the sheet's charts: `1, `2, ...
// Paints a range or a chart of a workbook the way a panel shows it, for looking at the
// painter's output and for the benchmarks. Prints the picture's size; a chart shown as a
// placeholder prints its note. Exit status 1 on any failure, with the reason.

#include "platform/workbook/Address.h"
#include "platform/workbook/CopyPicture.h"
#include "platform/workbook/Workbook.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: render-range <workbook> <sheet> <range or chart name> <out.png>\n");
        return 2;
    }
    try {
        xl::Application xlApp;
        xl::Workbook* book = xlApp.Workbooks().Open(args[1]);
        xl::Worksheet* sheet = book->Sheets().Item(args[2]);
        QImage image;
        if (xl::ParseRange(args[3])) {
            image = xl::RangePicture(sheet->Range(args[3]));
        } else {
            xl::Shape* shape = sheet->Shapes().Item(args[3]);
            xl::ChartPicture pic = xl::ShapePicture(*shape);
            if (!pic.note.isEmpty())
                std::fprintf(stderr, "%s\n", qPrintable(pic.note));
            image = pic.image;
        }
        if (!image.save(args[4], "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(args[4]));
            return 1;
        }
        std::printf("%d x %d\n", image.width(), image.height());
        return 0;
    } catch (const xl::Error& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 1;
    }
}
