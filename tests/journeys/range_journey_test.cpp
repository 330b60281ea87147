// A range copied in LibreOffice Calc becomes a panel: pasted, it shows its whole picture; made
// small and autosized, it shows it whole again; a cell changed and saved in Calc shows after
// Dashboard > Refresh; and the dashboard published is a workbook LibreOffice opens.

#include "Journey.h"

#include "platform/workbook/Workbook.h"

#include <QFileInfo>

#include <zip.h>

namespace {

// The pictures inside a workbook's package (xl/media/...) or an OpenDocument one (Pictures/...).
std::vector<QImage> PicturesIn(const QString& path) {
    std::vector<QImage> pictures;
    int error = 0;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!zip)
        return pictures;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        const QString name = QString::fromUtf8(zip_get_name(zip, zip_uint64_t(i), 0));
        if (!name.startsWith(QLatin1String("xl/media/")) && !name.startsWith(QLatin1String("Pictures/")))
            continue;
        zip_stat_t st;
        zip_file_t* f = zip_fopen_index(zip, zip_uint64_t(i), 0);
        if (!f || zip_stat_index(zip, zip_uint64_t(i), 0, &st) != 0) {
            if (f)
                zip_fclose(f);
            continue;
        }
        QByteArray bytes(qsizetype(st.size), '\0');
        zip_fread(f, bytes.data(), st.size);
        zip_fclose(f);
        pictures.push_back(QImage::fromData(bytes));
    }
    zip_discard(zip);
    return pictures;
}

// Whether one of the pictures inside `workbook` holds `panel`.
bool HoldsPicture(const QString& workbook, const QImage& panel) {
    for (const QImage& picture : PicturesIn(workbook))
        if (journey::Find(picture, panel))
            return true;
    return false;
}

}  // namespace

TEST_F(Journey, ARangeFromCalcIsPastedRefreshedAndPublished) {
    ASSERT_TRUE(MakeWorkbooks());
    const QString sales = Work(QStringLiteral("Sales.xlsx"));
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(StartCalc(sales));

    // Copy A1:D6 in Calc, Dashboard > Paste: a panel window showing the whole picture.
    ASSERT_TRUE(CopyCells(QStringLiteral("$Data.A1:D6"), QStringLiteral("Data.A1:D6")));
    ASSERT_TRUE(Paste());
    const QImage first = Render(sales, QStringLiteral("Data"), QStringLiteral("A1:D6"));
    const auto pasted = WaitOnScreen(QStringLiteral("the pasted panel shows the whole range A1:D6"), first);
    ASSERT_TRUE(pasted);
    const QRect shown = *pasted;
    ASSERT_TRUE(MainWindow().contains(shown));

    // The user drags the panel's corner until hardly anything shows, then Panel > Autosize:
    // the window takes the whole picture again at once.
    const QPoint corner = shown.bottomRight() + QPoint(3, 3);
    ASSERT_TRUE(desk_.Drag(corner, shown.topLeft() + QPoint(30, 10)));
    ASSERT_TRUE(Step(QStringLiteral("the panel window is made small"), 30,
                     [&] { return !journey::Find(desk_.Screen(), first); }));
    // Panel menu: Paste, Open Excel File, Caption, Range Location, File Updates, Refresh, Delete,
    // Layout Mode, then Autosize.
    ASSERT_TRUE(Menu(QStringLiteral("p"), QStringList(8, QStringLiteral("Down"))));
    ASSERT_TRUE(WaitOnScreen(QStringLiteral("Autosize shows the whole picture again"), first, 60));

    // Dashboard > Save, named "Journey": the row holds a window at least as large as the picture.
    ASSERT_TRUE(SaveDashboard(QStringLiteral("Journey")));
    ASSERT_TRUE(Step(QStringLiteral("the dashboard and its panel are stored"), 60, [&] {
        return Number(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel p JOIN DsbSavedWorkspace w "
                                     "ON p.WorkspaceID = w.ID WHERE w.Name = 'Journey'")) == 1;
    }));
    const qint64 panel = Number(QStringLiteral("SELECT ID FROM DsbSavedPanel WHERE SheetName = 'Data'"));
    // A range, autosized by the user.
    EXPECT_EQ(Text(QStringLiteral("SELECT ContentType || ViewType FROM DsbSavedPanel WHERE ID = ?"), {panel}), QStringLiteral("SA"));
    EXPECT_GE(Number(QStringLiteral("SELECT Width FROM DsbSavedPanel WHERE ID = ?"), {panel}), first.width() * kTwipsPerPixel);
    EXPECT_GE(Number(QStringLiteral("SELECT Height FROM DsbSavedPanel WHERE ID = ?"), {panel}), first.height() * kTwipsPerPixel);

    // C3 changed in Calc and saved there; Dashboard > Refresh shows the new value.
    ASSERT_TRUE(EditAndSave(sales, QStringLiteral("Data"), QStringLiteral("C3"), QStringLiteral("777")));
    ASSERT_TRUE(RefreshDashboard());
    const QImage fresh = Render(sales, QStringLiteral("Data"), QStringLiteral("A1:D6"));
    ASSERT_NE(fresh, first);
    ASSERT_TRUE(WaitOnScreen(QStringLiteral("the refreshed panel shows 777"), fresh));
    // The cached picture is the saved workbook as rendered afresh.
    ASSERT_TRUE(Step(QStringLiteral("the panel's picture is cached"), 60,
                     [&] { return QFileInfo::exists(CachePath(panel)); }));
    EXPECT_EQ(QImage(CachePath(panel)).convertToFormat(QImage::Format_RGB32), fresh);

    // Dashboard > Publish: no template yet, so the user is told and picks "<none>"; the
    // workbook handed to the desktop opens in LibreOffice and holds the panel's picture.
    ASSERT_TRUE(Menu(QStringLiteral("d"), QStringList(5, QStringLiteral("Down"))));
    ASSERT_TRUE(Answer(QStringLiteral("^Sheetbeacon$"), {QStringLiteral("Return")}));
    ASSERT_TRUE(Answer(QStringLiteral("^Publish$"), {QStringLiteral("Return")}));
    ASSERT_TRUE(Step(QStringLiteral("the published workbook is handed to the desktop"), 120,
                     [&] { return !OpenedDocuments().isEmpty(); }));
    const QString published = OpenedDocuments().constFirst();
    ASSERT_TRUE(QFileInfo::exists(published)) << published.toStdString();
    // Where the user keeps documents (the program runs with the journey's home), not in a
    // folder cleared at reboot.
    EXPECT_EQ(QFileInfo(published).absolutePath(), Home() + QStringLiteral("/Documents"));
    EXPECT_TRUE(HoldsPicture(published, fresh)) << "the published picture does not hold the panel";

    // One LibreOffice at a time: the user's Calc ends before the headless one opens the file.
    ASSERT_TRUE(QuitCalc());
    const QString reopened = Work(QStringLiteral("published.xlsx"));
    ASSERT_TRUE(SaveWithLibreOffice(published, reopened));
    EXPECT_TRUE(HoldsPicture(reopened, fresh)) << "LibreOffice lost the published picture";
}
