// The range location dialog on a real workbook written by openpyxl: the rule shown and
// stored, the anchor candidates, the stored anchor kept, and the workbook that is gone.

#include "DialogTestSupport.h"
#include "RangeWorkbooks.h"
#include "WindowTestSupport.h"

#include "model/ContentMatch.h"
#include "ui/modUtilsControls.h"
#include "windows/frmRangeRelative.h"

#include <QGroupBox>
#include <QRadioButton>

namespace {

class RangeDialogTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        gWorkspace = std::make_unique<clsWorkspace>();
        gSources = std::make_unique<clsSources>();
    }

    // A panel of the current dashboard on a range of the test workbook (or of a file that is
    // not there); its index.
    int16_t PanelOn(const QString& sheet, const QString& range, const QString& rule,
                    const QString& match, const QString& file = QStringLiteral("anchors.xlsx")) {
        gDB->Execute(QStringLiteral("INSERT INTO DsbPanelSource(FullPath, DestFolder, NewestFile, "
                                    "UpdateType, CheckEveryNMin) VALUES (?, ?, ?, 'default', 60)"),
                     {testsupport::RangeWorkbookFolder() + file,
                      testsupport::RangeWorkbookFolder(), file});
        const auto sourceID = static_cast<int32_t>(gDB->LastInsertId());
        gSources = std::make_unique<clsSources>();
        EXPECT_TRUE(gSources->LoadAll(gDB.get()));
        const int16_t index = gWorkspace->AddPanel();
        clsWorkspacePanel* panel = gWorkspace->Panels(index);
        panel->SourceID = sourceID;
        panel->ContentType = PanelContent::Range;
        panel->SheetName = sheet;
        panel->PicRange = range + QStringLiteral("``");
        panel->RelativeTo = rule;
        panel->ContentMatch = match;
        return index;
    }
    static clsWorkspacePanel* Record(int16_t index) { return gWorkspace->Panels(index); }
};

QRadioButton* Option(const QWidget* dialog, int i) {
    return Control<QRadioButton>(dialog, i == 0 ? "optFixed0" : "optFixed1");
}

bool AnchorShown(const QWidget* dialog) {
    const auto* frame = Control<QGroupBox>(dialog, "fraAnchor");
    return frame && !frame->isHidden();
}

const QStringList kDataCandidates = {
    QStringLiteral("Region"), QStringLiteral("North"), QStringLiteral("South"),
    QStringLiteral("Total"),  QStringLiteral("2008"),  QStringLiteral("Q1"),
    QStringLiteral("42")};

}  // namespace

TEST(ContentMatchText, PartsAreFoundWithoutRegardToCase) {
    QString bottom = QStringLiteral("x"), anchor = QStringLiteral("kept"),
            content = QStringLiteral("kept");
    parseContentMatch(QStringLiteral("BOTTOM=$H$40`Anchor=$C5`Content=Total `=`x"), bottom,
                      anchor, content);
    EXPECT_EQ(bottom, QStringLiteral("$H$40"));
    EXPECT_EQ(anchor, QStringLiteral("$C5"));
    // The text runs to the end, back-quotes and "=" included.
    EXPECT_EQ(content, QStringLiteral("Total `=`x"));

    // No anchor part: the anchor outputs stay as they came in; no bottom part gives "".
    anchor = content = QStringLiteral("kept");
    parseContentMatch(QStringLiteral("bottom=$B$7"), bottom, anchor, content);
    EXPECT_EQ(bottom, QStringLiteral("$B$7"));
    EXPECT_EQ(anchor, QStringLiteral("kept"));
    parseContentMatch(QStringLiteral("anchor=$C5"), bottom, anchor, content);
    EXPECT_EQ(bottom, QString());
    EXPECT_EQ(anchor, QStringLiteral("kept"));
    EXPECT_EQ(content, QStringLiteral("kept"));
    // An anchor part without a text part empties both.
    parseContentMatch(QStringLiteral("bottom=`anchor=$C5`"), bottom, anchor, content);
    EXPECT_EQ(anchor, QString());
    EXPECT_EQ(content, QString());
    // As the relocation writes it, with empty values.
    parseContentMatch(QStringLiteral("bottom=`anchor=`content="), bottom, anchor, content);
    EXPECT_EQ(bottom, QString());
    EXPECT_EQ(anchor, QString());
    EXPECT_EQ(content, QString());
}

TEST(CandidatePosition, EveryCellOfTheGridPacksAndReadsBack) {
    const std::pair<int32_t, int32_t> cells[] = {
        {1, 1}, {32, 767}, {32, 768}, {33, 1}, {1, 1000}, {2, 999}, {16384, 32767}, {16384, 99999}};
    for (const auto& [column, row] : cells) {
        const int32_t packed = frmRangeRelative::PackPosition(column, row);
        EXPECT_GT(packed, 0);
        int32_t c = 0, r = 0;
        frmRangeRelative::UnpackPosition(packed, c, r);
        EXPECT_EQ(c, column);
        EXPECT_EQ(r, row);
    }
}

TEST_F(RangeDialogTest, TopAndBottomOpenWithoutTheWorkbook) {
    // The workbook is not there at all: these rules never open it.
    const int16_t top = PanelOn(QStringLiteral("Data"), QStringLiteral("$A$1:$D$5"),
                                QStringLiteral("top"),
                                QStringLiteral("bottom=$H$40`anchor=$B5`content=X"),
                                QStringLiteral("gone.xlsx"));
    const int16_t bottom = PanelOn(QStringLiteral("Data"), QStringLiteral("$A$1:$D$5"),
                                   QStringLiteral("bottom"), QStringLiteral("bottom=$D$5"),
                                   QStringLiteral("gone.xlsx"));
    {
        frmRangeRelative dialog;
        dialog.Index = top;
        dialog.Form_Activate();
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Range Location"));
        EXPECT_EQ(ComboTexts(&dialog, "cmbRelativeTo"),
                  (QStringList{QStringLiteral("The same address as the current selection"),
                               QStringLiteral("Start from the last row and last column with "
                                              "non-blank values"),
                               QStringLiteral("The block of cells containing the value I will "
                                              "specify below")}));
        EXPECT_EQ(Combo(&dialog, "cmbRelativeTo")->currentIndex(), 0);
        EXPECT_FALSE(AnchorShown(&dialog));
        EXPECT_FALSE(Option(&dialog, 0)->isChecked());
        EXPECT_FALSE(Option(&dialog, 1)->isChecked());
        // "top" keeps only the stored bottom cell.
        Press(&dialog, "cmdOK");
        EXPECT_TRUE(dialog.IsUnloaded());
    }
    EXPECT_EQ(Record(top)->RelativeTo, QStringLiteral("top"));
    EXPECT_EQ(Record(top)->ContentMatch, QStringLiteral("bottom=$H$40"));
    {
        frmRangeRelative dialog;
        dialog.Index = bottom;
        dialog.Form_Activate();
        EXPECT_EQ(Combo(&dialog, "cmbRelativeTo")->currentIndex(), 1);
        EXPECT_FALSE(AnchorShown(&dialog));
        Combo(&dialog, "cmbRelativeTo")->setCurrentIndex(0);
        Press(&dialog, "cmdOK");
    }
    EXPECT_EQ(Record(bottom)->RelativeTo, QStringLiteral("top"));
    EXPECT_EQ(Record(bottom)->ContentMatch, QStringLiteral("bottom=$D$5"));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    {
        // Cancel leaves the record alone.
        frmRangeRelative dialog;
        dialog.Index = bottom;
        dialog.Form_Activate();
        Combo(&dialog, "cmbRelativeTo")->setCurrentIndex(1);
        Press(&dialog, "cmdCancel");
        EXPECT_TRUE(dialog.IsUnloaded());
    }
    EXPECT_EQ(Record(bottom)->RelativeTo, QStringLiteral("top"));
    {
        frmRangeRelative dialog;
        dialog.Index = -1;
        dialog.Show();
        EXPECT_TRUE(dialog.IsUnloaded());
        EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Invalid panel index.")});
        EXPECT_EQ(PromptScript::Record()[0].style, vbCritical);
    }
}

TEST_F(RangeDialogTest, CandidatesAreTheVisibleTextsAndWholeNumbersColumnByColumn) {
    const int16_t index = PanelOn(QStringLiteral("Data"), QStringLiteral("$A$1:$D$5"),
                                  QStringLiteral("contents"), QStringLiteral("bottom=$D$5"));
    frmRangeRelative dialog;
    dialog.Index = index;
    dialog.Form_Activate();
    EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join('\n').toStdString();
    EXPECT_EQ(Combo(&dialog, "cmbRelativeTo")->currentIndex(), 2);
    EXPECT_TRUE(AnchorShown(&dialog));
    // Hidden row 3 and column D are left out, and so are 1,000 and 3.5.
    EXPECT_EQ(ComboTexts(&dialog, "cmbAnchor"), kDataCandidates);
    QComboBox* anchors = Combo(&dialog, "cmbAnchor");
    EXPECT_EQ(anchors->currentText(), QStringLiteral("Region"));
    EXPECT_EQ(Combo_ItemData(anchors, 6), frmRangeRelative::PackPosition(3, 5));
    // No stored anchor: search down the column.
    EXPECT_TRUE(Option(&dialog, 0)->isChecked());
    EXPECT_EQ(Option(&dialog, 0)->text(),
              QStringLiteral("Search for a cell with this value in column 'A'"));
    EXPECT_EQ(Option(&dialog, 1)->text(), QStringLiteral("Search for a cell with this value in row 1"));

    // The value 42 in C5: $C5 to search its column, C$5 to search its row.
    anchors->setCurrentIndex(6);
    EXPECT_EQ(Option(&dialog, 0)->text(),
              QStringLiteral("Search for a cell with this value in column 'C'"));
    EXPECT_EQ(Option(&dialog, 1)->text(), QStringLiteral("Search for a cell with this value in row 5"));
    Option(&dialog, 1)->setChecked(true);
    Press(&dialog, "cmdOK");
    EXPECT_TRUE(dialog.IsUnloaded());
    EXPECT_EQ(Record(index)->RelativeTo, QStringLiteral("contents"));
    EXPECT_EQ(Record(index)->ContentMatch, QStringLiteral("bottom=$D$5`anchor=C$5`content=42"));
}

TEST_F(RangeDialogTest, TheStoredAnchorStaysTheChoice) {
    struct Row {
        const char* match;
        const char* selected;
        int option;
        const char* stored;  // ContentMatch after OK without a change
    };
    const Row rows[] = {
        {"bottom=`anchor=C$5`content=42", "42", 1, "bottom=`anchor=C$5`content=42"},
        {"bottom=`anchor=$A4`content=South", "South", 0, "bottom=`anchor=$A4`content=South"},
        // Both parts fixed, or neither: the column is searched.
        {"bottom=`anchor=$B$1`content=2008", "2008", 0, "bottom=`anchor=$B1`content=2008"},
        {"bottom=`anchor=A5`content=Total", "Total", 0, "bottom=`anchor=$A5`content=Total"},
        // An anchor that is no longer among the values gives way to the first one.
        {"bottom=`anchor=$A4`content=East", "Region", 0, "bottom=`anchor=$A1`content=Region"},
        {"bottom=`anchor=$A2`content=South", "Region", 0, "bottom=`anchor=$A1`content=Region"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.match);
        const int16_t index = PanelOn(QStringLiteral("Data"), QStringLiteral("$A$1:$D$5"),
                                      QStringLiteral("contents"), QString::fromLatin1(row.match));
        frmRangeRelative dialog;
        dialog.Index = index;
        dialog.Form_Activate();
        EXPECT_EQ(Combo(&dialog, "cmbAnchor")->currentText(), QString::fromLatin1(row.selected));
        EXPECT_TRUE(Option(&dialog, row.option)->isChecked());
        EXPECT_FALSE(Option(&dialog, 1 - row.option)->isChecked());
        Press(&dialog, "cmdOK");
        EXPECT_EQ(Record(index)->ContentMatch, QString::fromLatin1(row.stored));
    }
}

TEST_F(RangeDialogTest, NoUsableValuesFallBackToTheLastUsedCell) {
    const int16_t index = PanelOn(QStringLiteral("Fractions"), QStringLiteral("$A$1:$B$2"),
                                  QStringLiteral("contents"), QStringLiteral("bottom=$B$2"));
    const QString noValues = QStringLiteral(
        "There are no values in the selected range of cells that can be used to search for the "
        "range.  Please choose another option.");
    {
        frmRangeRelative dialog;
        dialog.Index = index;
        dialog.Form_Activate();
        EXPECT_EQ(PromptScript::Messages(), QStringList{noValues});
        EXPECT_EQ(PromptScript::Record()[0].style, vbInformation);
        EXPECT_EQ(Combo(&dialog, "cmbRelativeTo")->currentIndex(), 1);
        EXPECT_FALSE(AnchorShown(&dialog));
        Press(&dialog, "cmdOK");
    }
    EXPECT_EQ(Record(index)->RelativeTo, QStringLiteral("bottom"));
    EXPECT_EQ(Record(index)->ContentMatch, QStringLiteral("bottom=$B$2"));
    // Picking the anchor rule by hand on a "top" panel does the same.
    PromptScript::Reset();
    Record(index)->RelativeTo = QStringLiteral("top");
    frmRangeRelative dialog;
    dialog.Index = index;
    dialog.Form_Activate();
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    Combo(&dialog, "cmbRelativeTo")->setCurrentIndex(2);
    EXPECT_EQ(PromptScript::Messages(), QStringList{noValues});
    EXPECT_EQ(Combo(&dialog, "cmbRelativeTo")->currentIndex(), 1);
}

TEST_F(RangeDialogTest, FarColumnsAndRowsAreCandidatesOfTheirOwnCell) {
    const int16_t wide = PanelOn(QStringLiteral("Wide"), QStringLiteral("$A$1:$AJ$3"),
                                 QStringLiteral("contents"), QStringLiteral("bottom=$AJ$3"));
    {
        frmRangeRelative dialog;
        dialog.Index = wide;
        dialog.Form_Activate();
        EXPECT_FALSE(dialog.IsUnloaded());
        EXPECT_EQ(ComboTexts(&dialog, "cmbAnchor"), QStringList{QStringLiteral("Total")});
        Press(&dialog, "cmdOK");
    }
    EXPECT_EQ(Record(wide)->ContentMatch, QStringLiteral("bottom=$AJ$3`anchor=$AH1`content=Total"));

    const int16_t tall = PanelOn(QStringLiteral("Tall"), QStringLiteral("$B$1:$C$1500"),
                                 QStringLiteral("contents"), QStringLiteral("bottom=$C$1500"));
    {
        frmRangeRelative dialog;
        dialog.Index = tall;
        dialog.Form_Activate();
        EXPECT_EQ(ComboTexts(&dialog, "cmbAnchor"), QStringList{QStringLiteral("Deep")});
        Option(&dialog, 1)->setChecked(true);
        Press(&dialog, "cmdOK");
    }
    EXPECT_EQ(Record(tall)->ContentMatch, QStringLiteral("bottom=$C$1500`anchor=C$1200`content=Deep"));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(RangeDialogTest, AWorkbookOrSheetThatIsGoneEndsTheDialog) {
    const std::pair<const char*, const char*> cases[] = {{"gone.xlsx", "Data"},
                                                         {"anchors.xlsx", "Nope"}};
    for (const auto& [file, sheet] : cases) {
        SCOPED_TRACE(file);
        PromptScript::Reset();
        const int16_t index = PanelOn(QString::fromLatin1(sheet), QStringLiteral("$A$1:$D$5"),
                                      QStringLiteral("contents"),
                                      QStringLiteral("bottom=`anchor=$A4`content=South"),
                                      QString::fromLatin1(file));
        frmRangeRelative dialog;
        dialog.Index = index;
        dialog.Show();
        EXPECT_TRUE(dialog.IsUnloaded());
        const QStringList messages = PromptScript::Messages();
        ASSERT_EQ(messages.size(), 2);
        EXPECT_TRUE(messages[0].contains(QStringLiteral("PrepAnchorChoice")));
        EXPECT_EQ(messages[1], testsupport::RangeWorkbookFolder() + QString::fromLatin1(file) +
                                   QStringLiteral(" could not be opened, or did not contain the "
                                                  "worksheet '") +
                                   QString::fromLatin1(sheet) +
                                   QStringLiteral("'.  This panel's Range Location cannot be set."));
        EXPECT_EQ(PromptScript::Record().back().style, vbCritical);
        EXPECT_EQ(Record(index)->ContentMatch, QStringLiteral("bottom=`anchor=$A4`content=South"));
    }
}

TEST_F(RangeDialogTest, TheListIsBuiltOncePerOpening) {
    const int16_t index = PanelOn(QStringLiteral("Data"), QStringLiteral("$A$1:$D$5"),
                                  QStringLiteral("top"), QStringLiteral("bottom=$D$5"));
    frmRangeRelative dialog;
    dialog.Index = index;
    dialog.Form_Activate();
    EXPECT_EQ(Combo(&dialog, "cmbAnchor")->count(), 0);
    Combo(&dialog, "cmbRelativeTo")->setCurrentIndex(2);
    EXPECT_TRUE(AnchorShown(&dialog));
    Combo(&dialog, "cmbAnchor")->setCurrentIndex(3);
    Combo(&dialog, "cmbRelativeTo")->setCurrentIndex(0);
    EXPECT_FALSE(AnchorShown(&dialog));
    Combo(&dialog, "cmbRelativeTo")->setCurrentIndex(2);
    EXPECT_EQ(ComboTexts(&dialog, "cmbAnchor"), kDataCandidates);
    EXPECT_EQ(Combo(&dialog, "cmbAnchor")->currentText(), QStringLiteral("Total"));
    Press(&dialog, "cmdOK");
    EXPECT_EQ(Record(index)->ContentMatch, QStringLiteral("bottom=$D$5`anchor=$A5`content=Total"));
}
