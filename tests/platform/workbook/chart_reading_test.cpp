// Chart parts as the reader takes them: cached points however their indexes are written.

#include "platform/workbook/Chart.h"
#include "platform/workbook/Workbook.h"

#include "../../fuzz/SyntheticPackage.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const QByteArray kChartNs = "xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
                            "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"";

// The chart of a one-sheet workbook whose chart part is `xml`, read as the painter reads it.
xl::ChartData ReadChartXml(const QByteArray& xml) {
    xl::Application app;
    xl::Workbook book(&app, xl::ReadWorkbookBytes(fuzzing::SyntheticPackage('c', xml), QStringLiteral("c.xlsx")),
                      QStringLiteral("/charts/c.xlsx"));
    const std::vector<xl::Shape*> shapes = book.Sheets().Item(1)->Shapes().All();
    if (shapes.size() != 1 || !shapes.front()->Chart())
        throw std::runtime_error("the workbook's chart was not read");
    return *shapes.front()->Chart();
}

QByteArray LineChartOf(const QByteArray& valueCache) {
    return "<c:chartSpace " + kChartNs + "><c:chart><c:plotArea><c:lineChart><c:ser><c:idx val=\"0\"/>"
           "<c:val><c:numRef><c:f>S!$A$1:$A$3</c:f><c:numCache>" + valueCache +
           "</c:numCache></c:numRef></c:val></c:ser></c:lineChart></c:plotArea></c:chart></c:chartSpace>";
}

}  // namespace

TEST(ChartReading, PointIndexesPastAnyCacheAreNotBelieved) {
    struct Case {
        const char* what;
        QByteArray points;
        std::vector<double> values;  // NaN for a point left empty
    };
    const double gap = std::nan("");
    const QByteArray three = "<c:ptCount val=\"3\"/><c:pt idx=\"0\"><c:v>1</c:v></c:pt>"
                             "<c:pt idx=\"1\"><c:v>2</c:v></c:pt><c:pt idx=\"2\"><c:v>3</c:v></c:pt>";
    const std::vector<Case> cases = {
        {"as written", three, {1, 2, 3}},
        {"the largest index a number holds", three + "<c:pt idx=\"2147483647\"><c:v>9</c:v></c:pt>", {1, 2, 3}},
        {"an index past the numbers", three + "<c:pt idx=\"99999999999\"><c:v>9</c:v></c:pt>", {1, 2, 3}},
        {"a negative index", three + "<c:pt idx=\"-2\"><c:v>9</c:v></c:pt>", {1, 2, 3}},
        {"the first index no cache holds", three + "<c:pt idx=\"100000\"><c:v>9</c:v></c:pt>", {1, 2, 3}},
        {"a point past the count it claims",
         "<c:ptCount val=\"1\"/><c:pt idx=\"0\"><c:v>1</c:v></c:pt><c:pt idx=\"3\"><c:v>4</c:v></c:pt>",
         {1, gap, gap, 4}},
        {"no count, only a huge index", "<c:pt idx=\"2147483647\"><c:v>9</c:v></c:pt>", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const xl::ChartData chart = ReadChartXml(LineChartOf(c.points));
        ASSERT_EQ(chart.plots.size(), 1u);
        ASSERT_EQ(chart.plots.front().series.size(), 1u);
        const std::vector<double>& got = chart.plots.front().series.front().values;
        ASSERT_EQ(got.size(), c.values.size());
        for (size_t i = 0; i < got.size(); ++i) {
            if (std::isnan(c.values[i]))
                EXPECT_TRUE(std::isnan(got[i])) << i;
            else
                EXPECT_EQ(got[i], c.values[i]) << i;
        }
    }
}
