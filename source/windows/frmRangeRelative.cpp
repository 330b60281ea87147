#include "windows/frmRangeRelative.h"

#include "model/ContentMatch.h"
#include "model/Globals.h"
#include "services/UserPrompts.h"
#include "ui/modUtilsControls.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsLog.h"
#include "ui/DialogButtons.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace {

const QString kModule = QStringLiteral("frmRangeRelative");
constexpr int kWidth = 560;
const QString kTop = QStringLiteral("top");
const QString kBottom = QStringLiteral("bottom");
const QString kContents = QStringLiteral("contents");

// The packing leaves room for every row offset a stored range can have (rows are at most
// 32767), and every column of the grid keeps the product within 32 bits.
constexpr int32_t kRowSpan = 100000;

// A number, or a text that reads as one (thousands separators and all).
bool IsNumericValue(const xl::CellValue& value) {
    if (value.type == xl::ValueType::Number)
        return true;
    if (value.type != xl::ValueType::Text)
        return false;
    QString text = value.text.trimmed();
    text.remove(QLatin1Char(','));
    bool ok = false;
    QLocale::c().toDouble(text, &ok);
    return ok && !text.isEmpty();
}

}  // namespace

int32_t frmRangeRelative::PackPosition(int32_t column, int32_t row) {
    return column * kRowSpan + row;
}

void frmRangeRelative::UnpackPosition(int32_t packed, int32_t& column, int32_t& row) {
    column = packed / kRowSpan;
    row = packed % kRowSpan;
}

frmRangeRelative::frmRangeRelative(QWidget* parent)
    : DialogForm(parent),
      cmbRelativeTo_(new QComboBox(this)),
      fraAnchor_(new QGroupBox(this)),
      cmbAnchor_(new QComboBox(fraAnchor_)),
      optFixedGroup_(new QButtonGroup(this)),
      optFixed_{new QRadioButton(QStringLiteral("Search for cell with this value in any row of this column"), fraAnchor_),
                new QRadioButton(QStringLiteral("Search for cell with this value in any column of this row"), fraAnchor_)} {
    setObjectName(kModule);
    setWindowTitle(QStringLiteral("Range Location"));
    auto* lblSource = NamedLabel(
        "lblSource",
        QStringLiteral("If an updated version of the spreadsheet has a different number of rows "
                       "or columns from this version, what is the location of the range of "
                       "cells that Sheetbeacon should show on the dashboard panel?"),
        this);
    lblSource->setWordWrap(true);
    cmbRelativeTo_->setObjectName(QStringLiteral("cmbRelativeTo"));
    connect(cmbRelativeTo_, &QComboBox::currentIndexChanged, this, [this](int) { cmbRelativeTo_Click(); });

    fraAnchor_->setObjectName(QStringLiteral("fraAnchor"));
    cmbAnchor_->setObjectName(QStringLiteral("cmbAnchor"));
    connect(cmbAnchor_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            cmbAnchor_Click();
    });
    auto* anchorLayout = new QVBoxLayout(fraAnchor_);
    auto* anchorRow = new QHBoxLayout;
    anchorRow->addWidget(NamedLabel("lblAnchor", QStringLiteral("Value to Find:"), fraAnchor_));
    anchorRow->addWidget(cmbAnchor_, 1);
    anchorLayout->addLayout(anchorRow);
    for (int i = 0; i < 2; ++i) {
        optFixed_[i]->setObjectName(QStringLiteral("optFixed%1").arg(i));
        optFixedGroup_->addButton(optFixed_[i], i);
        anchorLayout->addWidget(optFixed_[i]);
    }
    fraAnchor_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSource);
    layout->addWidget(cmbRelativeTo_);
    layout->addWidget(fraAnchor_);
    layout->addLayout(DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdCancel", QStringLiteral("Cancel"), [this] { cmdCancel_Click(); }},
               {"cmdHelp", QStringLiteral("&Help"), [this] { cmdHelp_Click(); }}}));
    FitDialogToContents(this, kWidth);

    // Load.
    ChoiceTexts_ = {QStringLiteral("The same address as the current selection"),
                    QStringLiteral("Start from the last row and last column with non-blank values"),
                    QStringLiteral("The block of cells containing the value I will specify below")};
    cmbRelativeTo_Load();
    FirstActivate_ = true;
}

void frmRangeRelative::cmbRelativeTo_Load() {
    cmbRelativeTo_->clear();
    cmbRelativeTo_->addItems(ChoiceTexts_);
    cmbRelativeTo_->setCurrentIndex(-1);
}

void frmRangeRelative::ClearFixed() {
    // An exclusive pair can't be emptied while it stays exclusive.
    optFixedGroup_->setExclusive(false);
    optFixed_[0]->setChecked(false);
    optFixed_[1]->setChecked(false);
    optFixedGroup_->setExclusive(true);
}

void frmRangeRelative::Form_Activate() {
    try {
        if (RefusedPanelIndex(Index))
            return;
        if (!FirstActivate_)
            return;
        Panel_ = gWorkspace ? gWorkspace->Panels(Index) : nullptr;
        if (!Panel_)
            throw std::runtime_error("No panel at index " + std::to_string(Index));
        if (const clsPanelSource* source = Panel_->Source())
            SourceFile_ = source->DestFolder + source->NewestFile;
        parseContentMatch(Panel_->ContentMatch, Bottom_, AnchorAddress_, AnchorContent_);
        ClearFixed();
        SetRelativeTo(Panel_->RelativeTo);
        FirstActivate_ = false;
    } catch (const std::exception& e) {
        ReportFailure(kModule, QStringLiteral("Form_Activate"), e);
        Unload();
    }
}

void frmRangeRelative::SetRelativeTo(const QString& code) {
    if (code == kTop)
        cmbRelativeTo_->setCurrentIndex(0);
    else if (code == kBottom)
        cmbRelativeTo_->setCurrentIndex(1);
    else if (code == kContents)
        cmbRelativeTo_->setCurrentIndex(2);
}

QString frmRangeRelative::GetRelativeTo() const {
    switch (cmbRelativeTo_->currentIndex()) {
    case 0: return kTop;
    case 1: return kBottom;
    case 2: return kContents;
    default: return QString();
    }
}

void frmRangeRelative::cmbRelativeTo_Click() {
    if (cmbRelativeTo_->currentIndex() < 0)
        return;
    if (cmbRelativeTo_->currentText() == ChoiceTexts_[2])
        ShowAnchor();
    else
        fraAnchor_->hide();
    // The height follows the anchor frame, so no band is left while it is hidden; a width
    // the user chose is kept.
    FitDialogToContents(this, isVisible() ? width() : kWidth);
}

void frmRangeRelative::ShowAnchor() {
    // Built once per opening: switching away and back reuses the list.
    if (cmbAnchor_->count() == 0 && !PrepAnchorChoice())
        return;
    if (cmbAnchor_->count() > 0) {
        fraAnchor_->show();
        return;
    }
    MsgBox(QStringLiteral("There are no values in the selected range of cells that can be used "
                          "to search for the range.  Please choose another option."),
           vbInformation);
    SetRelativeTo(kBottom);
}

void frmRangeRelative::CheckFix() {
    bool rowAbs = false;
    bool colAbs = false;
    GetAbsFlags(AnchorAddress_, rowAbs, colAbs);
    ColFixed_ = colAbs;
    RowFixed_ = rowAbs;
    if (ColFixed_ == RowFixed_) {
        ColFixed_ = true;
        RowFixed_ = false;
    }
}

bool frmRangeRelative::PrepAnchorChoice() {
    HiddenInstance hidden;
    ExcelApp& XL = hidden.XL;
    try {
        if (!hidden.Start())
            throw std::runtime_error("The hidden spreadsheet instance could not be started");
        xl::Workbook* book = XL->Workbooks().Open(SourceFile_);
        xl::Worksheet* ws = book->Sheets().Item(Panel_->SheetName);

        // The range where the panel's rule finds it in this version; until the panel has
        // located it, where it was stored.
        QString located = Panel_->adjMovRange();
        if (located.isEmpty())
            located = Panel_->PicRange.section(QLatin1Char('`'), 0, 0);

        // The anchor the panel has now, to be offered again as the choice when it is there.
        const QString storedAnchor = QString(AnchorAddress_).remove(QLatin1Char('$'));
        const QString storedContent = AnchorContent_;

        CheckFix();
        optFixed_[0]->setChecked(ColFixed_);
        optFixed_[1]->setChecked(RowFixed_);

        const xl::Range range = ws->Range(located);
        RowBase_ = range.Row() - 1;
        ColBase_ = range.Column() - 1;
        const int32_t columns = static_cast<int32_t>(range.Columns().Count());
        const int32_t rows = static_cast<int32_t>(std::min<int64_t>(range.Rows().Count(), kRowSpan - 1));
        int storedIndex = -1;
        const QSignalBlocker blocker(cmbAnchor_);
        for (int32_t c = 1; c <= columns; ++c) {
            const int32_t column = ColBase_ + c;
            if (ws->ColumnWidth(column) <= 0)
                continue;
            for (int32_t r = 1; r <= rows; ++r) {
                const int32_t row = RowBase_ + r;
                if (ws->RowHeight(row) <= 0)
                    continue;
                // The displayed text is what the relocation searches for.
                const QString text = ws->DisplayText(row, column);
                if (text.isEmpty())
                    continue;
                if (IsNumericValue(ws->Value(row, column)) &&
                    (text.contains(QLatin1Char('.')) || text.contains(QLatin1Char(','))))
                    continue;
                Combo_AddItem(cmbAnchor_, text, PackPosition(c, r));
                if (storedIndex < 0 && text == storedContent &&
                    ColumnLetters(column) + QString::number(row) == storedAnchor.toUpper())
                    storedIndex = cmbAnchor_->count() - 1;
            }
        }
        cmbAnchor_->setCurrentIndex(-1);
        hidden.Close();
        if (cmbAnchor_->count() > 0) {
            // The stored anchor stays the choice when it is still there; else the first value.
            cmbAnchor_->setCurrentIndex(storedIndex >= 0 ? storedIndex : 0);
            cmbAnchor_Click();
        }
        return true;
    } catch (const std::exception& e) {
        hidden.Close();
        const auto* engineError = dynamic_cast<const xl::Error*>(&e);
        LogError(kModule, QStringLiteral("PrepAnchorChoice"),
                 engineError ? ErrNum::kUnreadable : ErrNum::kGeneral, QString::fromUtf8(e.what()),
                 true);
        MsgBox(SourceFile_ + QStringLiteral(" could not be opened, or did not contain the worksheet '") +
                   Panel_->SheetName +
                   QStringLiteral("'.  This panel's Range Location cannot be set."),
               vbCritical);
        Unload();
        return false;
    }
}

void frmRangeRelative::cmbAnchor_Click() {
    const int index = cmbAnchor_->currentIndex();
    if (index < 0)
        return;
    AnchorContent_ = cmbAnchor_->currentText();
    int32_t c = 0;
    int32_t r = 0;
    UnpackPosition(Combo_ItemData(cmbAnchor_, index), c, r);
    const QString letters = ColumnLetters(ColBase_ + c);
    const QString rowNumber = QString::number(RowBase_ + r);
    if (optFixed_[0]->isChecked())
        AnchorAddress_ = QStringLiteral("$") + letters + rowNumber;
    else
        AnchorAddress_ = letters + QStringLiteral("$") + rowNumber;
    optFixed_[0]->setText(QStringLiteral("Search for a cell with this value in column '") + letters +
                          QStringLiteral("'"));
    optFixed_[1]->setText(QStringLiteral("Search for a cell with this value in row ") + rowNumber);
}

void frmRangeRelative::cmdOK_Click() {
    try {
        if (!AlwaysValid())
            return;
        if (!Panel_)
            throw std::runtime_error("No panel record");
        const QString code = GetRelativeTo();
        Panel_->RelativeTo = code;
        QString match = QStringLiteral("bottom=") + Bottom_;
        if (code == kContents) {
            // The search direction chosen last is part of the anchor address.
            cmbAnchor_Click();
            match += QStringLiteral("`anchor=") + AnchorAddress_ + QStringLiteral("`content=") +
                     cmbAnchor_->currentText();
        }
        Panel_->ContentMatch = match;
        Unload(QDialog::Accepted);
    } catch (const std::exception& e) {
        ReportFailure(kModule, QStringLiteral("cmdOK_Click"), e);
    }
}

void frmRangeRelative::cmdCancel_Click() { Unload(); }

void frmRangeRelative::cmdHelp_Click() { ShowHelp(this, kModule); }
