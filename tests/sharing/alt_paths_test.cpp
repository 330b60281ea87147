// The alternate paths dialogs on a real repository: the grid, the candidates, the separator
// rule, adding and deleting pairs, and a failed insert that keeps the add dialog open.

#include "SharingTestSupport.h"

#include "sharing/frmAddAltPath.h"
#include "sharing/frmAltPaths.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>

namespace {

QStringList GridRows(const QTableWidget* grid) {
    QStringList rows;
    for (int r = 0; r < grid->rowCount(); ++r)
        rows << grid->item(r, 0)->text() + QLatin1Char('>') + grid->item(r, 1)->text();
    return rows;
}

QStringList ComboItems(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

}  // namespace

TEST_F(SharingTest, AltPathsGridShowsPairsInOrderAndSelectsWholeRows) {
    frmAltPaths empty;
    empty.Form_Activate();
    EXPECT_EQ(empty.grid()->rowCount(), 0);
    EXPECT_EQ(empty.grid()->horizontalHeaderItem(0)->text(), QStringLiteral("Base Path"));
    EXPECT_EQ(empty.grid()->horizontalHeaderItem(1)->text(), QStringLiteral("Alternate Path"));
    // Delete with no pair selected removes nothing and says nothing.
    empty.cmdDelete_Click();
    EXPECT_TRUE(PromptScript::Messages().isEmpty());

    for (const auto& [base, alt] : std::vector<std::pair<QString, QString>>{
             {"/srv/b/", "/mnt/b/"}, {"/srv/a/", "/mnt/a/"}, {"/srv/o'brien", "/mnt/o'b"}})
        gDB->Execute(QStringLiteral("INSERT INTO DsbAltPaths VALUES (?, ?)"), {base, alt});
    frmAltPaths dialog;
    dialog.Form_Activate();
    EXPECT_EQ(GridRows(dialog.grid()),
              (QStringList{"/srv/a/>/mnt/a/", "/srv/b/>/mnt/b/", "/srv/o'brien>/mnt/o'b"}));
    EXPECT_EQ(dialog.grid()->currentRow(), 0);
    EXPECT_EQ(dialog.grid()->selectedItems().size(), 2);

    // A click on the second column of a row selects that whole row.
    dialog.grid()->setCurrentCell(2, 1);
    const auto selected = dialog.grid()->selectedItems();
    ASSERT_EQ(selected.size(), 2);
    EXPECT_EQ(selected[0]->row(), 2);
    EXPECT_EQ(selected[1]->row(), 2);
}

TEST_F(SharingTest, AltPathsDeleteRemovesEveryCopyOfThePairApostrophesIncluded) {
    for (int i = 0; i < 2; ++i)
        gDB->Execute(QStringLiteral("INSERT INTO DsbAltPaths VALUES (?, ?)"),
                     {QStringLiteral("/srv/o'brien/"), QStringLiteral("/mnt/o'b/")});
    gDB->Execute(QStringLiteral("INSERT INTO DsbAltPaths VALUES (?, ?)"),
                 {QStringLiteral("/srv/o'brien/"), QStringLiteral("/mnt/other/")});
    frmAltPaths dialog;
    dialog.Form_Activate();
    ASSERT_EQ(dialog.grid()->rowCount(), 3);
    int row = -1;
    for (int r = 0; r < 3; ++r)
        if (dialog.grid()->item(r, 1)->text() == QStringLiteral("/mnt/o'b/"))
            row = r;
    dialog.grid()->setCurrentCell(row, 0);
    dialog.cmdDelete_Click();
    EXPECT_EQ(Rows(*gDB, QStringLiteral("SELECT BasePath, AltPath FROM DsbAltPaths")),
              QStringList{"/srv/o'brien/|/mnt/other/"});
    EXPECT_EQ(GridRows(dialog.grid()), QStringList{"/srv/o'brien/>/mnt/other/"});
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(SharingTest, AddAltPathOffersEachLongFolderOnceInOrder) {
    AddSource(*gDB, "/data/x.xlsx", "folder", "x*.xlsx", "/dest/one/", "/src/b/");
    AddSource(*gDB, "/data/y.xlsx", "folder", "y*.xlsx", "/src/b/", "/");
    AddSource(*gDB, "/data/z.xlsx", "default", QVariant(), QVariant(), "C");
    AddSource(*gDB, "/data/w.xlsx", "folder", "w.xlsx", "/dest/a'pos/", QString());
    frmAddAltPath dialog;
    dialog.Form_Load();
    EXPECT_EQ(ComboItems(dialog.cmbBase()), (QStringList{"/dest/a'pos/", "/dest/one/", "/src/b/"}));
    EXPECT_EQ(dialog.cmbBase()->currentIndex(), -1);
}

TEST_F(SharingTest, AddAltPathChecksItsInputAndKeepsTheSeparator) {
    AddSource(*gDB, "/data/x.xlsx", "folder", "x*.xlsx", "/dest/one/", "/src/nosep");
    frmAddAltPath dialog;
    dialog.Form_Load();

    dialog.cmdOK_Click();
    dialog.cmbBase()->setCurrentIndex(0);  // "/dest/one/"
    dialog.txtAlt()->setText(QStringLiteral("   "));
    dialog.cmdOK_Click();
    EXPECT_EQ(PromptScript::Messages(),
              (QStringList{"Must select a base path.", "Must define an alternate path."}));
    EXPECT_EQ(Scalar(*gDB, QStringLiteral("SELECT count(*) FROM DsbAltPaths")), 0);
    EXPECT_FALSE(dialog.Saved());

    // Typed with trailing blanks and no separator: the separator goes after the blanks.
    dialog.txtAlt()->setText(QStringLiteral("/mnt/one  "));
    dialog.cmdOK_Click();
    EXPECT_TRUE(dialog.Saved());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    frmAddAltPath second;
    second.Form_Load();
    second.cmbBase()->setCurrentIndex(second.cmbBase()->findText(QStringLiteral("/src/nosep")));
    second.txtAlt()->setText(QStringLiteral("/mnt/o'nosep"));
    second.cmdOK_Click();
    // A pair already stored is not refused.
    frmAddAltPath third;
    third.Form_Load();
    third.cmbBase()->setCurrentIndex(third.cmbBase()->findText(QStringLiteral("/src/nosep")));
    third.txtAlt()->setText(QStringLiteral("/mnt/o'nosep"));
    third.cmdOK_Click();
    EXPECT_EQ(Rows(*gDB, QStringLiteral("SELECT BasePath, AltPath FROM DsbAltPaths ORDER BY rowid")),
              (QStringList{"/dest/one/|/mnt/one  /", "/src/nosep|/mnt/o'nosep",
                           "/src/nosep|/mnt/o'nosep"}));
}

TEST_F(SharingTest, AddAltPathStaysOpenWhenThePairCanNotBeStored) {
    AddSource(*gDB, "/data/x.xlsx", "folder", "x*.xlsx", "/dest/one/", QString());
    frmAddAltPath dialog;
    dialog.Form_Load();
    dialog.cmbBase()->setCurrentIndex(0);
    dialog.txtAlt()->setText(QStringLiteral("/mnt/one/"));
    gDB->Execute(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON DsbAltPaths BEGIN "
                                "SELECT RAISE(ABORT, 'read-only share'); END"));
    EXPECT_FALSE(dialog.SaveAltPaths());
    dialog.cmdOK_Click();
    EXPECT_FALSE(dialog.Saved());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(PromptScript::Messages().size(), 2);  // the routine's own error box, each time
    EXPECT_TRUE(LogText().contains(QStringLiteral("read-only share")));
}

TEST_F(SharingTest, AltPathsAddButtonShowsTheNewPair) {
    frmAltPaths dialog;
    dialog.Form_Activate();
    PromptScript::QueueDialog(QStringLiteral("frmAddAltPath"), true);
    // What the add dialog stores while it is open is on the grid when it closes.
    gDB->Execute(QStringLiteral("INSERT INTO DsbAltPaths VALUES ('/a/', '/b/')"));
    dialog.cmdAdd_Click();
    EXPECT_EQ(GridRows(dialog.grid()), QStringList{"/a/>/b/"});
}
