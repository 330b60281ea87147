#include "windows/frmPanel.h"

#include "model/Globals.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsMisc.h"
#include "ui/modUtilsPics.h"
#include "platform/workbook/CopyPicture.h"
#include "platform/workbook/RangePainter.h"
#include "platform/workbook/Waiting.h"
#include "windows/PictureBox.h"
#include "windows/TitleCentring.h"
#include "services/Twips.h"
#include "windows/frmCaption.h"
#include "windows/frmDrillback.h"
#include "windows/frmPanelProperties.h"
#include "windows/frmRangeRelative.h"
#include "windows/frmWorkspace.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QResizeEvent>
#include <QScrollBar>
#include <QThreadPool>

#include <chrono>
#include <cmath>
#include <limits>

namespace {

const QString kModule = QStringLiteral("frmPanel");

// Said when the saved workbook no longer holds what was copied from the open one.
QString ChangedNotSaved() {
    return QStringLiteral("The spreadsheet has been changed and not saved.\r\nYou cannot paste "
                          "from it at this time.\r\nPlease refer to help for more on this.");
}
constexpr int16_t kMultiSlots = 4;

// Conversions to 16-bit integers, as scroll bars and stored sizes take them: nearest, a half
// to the even neighbour, kept in range.
int16_t ToInt16(double value) {
    const double r = std::nearbyint(value);
    if (!std::isfinite(r))
        return 0;
    return static_cast<int16_t>(std::clamp(r, double(std::numeric_limits<int16_t>::min()),
                                           double(std::numeric_limits<int16_t>::max())));
}

int32_t ToInt32(double value) {
    const double r = std::nearbyint(value);
    if (!std::isfinite(r))
        return 0;
    return static_cast<int32_t>(std::clamp(r, double(std::numeric_limits<int32_t>::min()),
                                           double(std::numeric_limits<int32_t>::max())));
}

QString ErrorText(const std::exception& e) { return QString::fromUtf8(e.what()); }

QImage ClipboardBitmap() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasImage() ? qvariant_cast<QImage>(data->imageData()) : QImage();
}

// A panel dialog for this window's record, modal; answered in place when tests script it.
template <typename Dialog>
void ShowPanelDialog(const QString& kind, frmPanel* owner, bool IsNew) {
    AskCustom(kind, [owner, IsNew] {
        Dialog dialog(owner);
        dialog.Index = owner->Index;
        dialog.IsNew = IsNew;
        dialog.Show();
        return QVariant(dialog.result() == QDialog::Accepted);
    });
}

QString FolderOf(const QString& path) {
    QString folder;
    SplitPath(path, &folder);
    return folder + GetPathSeparator(path);
}

}  // namespace

frmPanel::frmPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(kModule);
    setMinimumSize(1, 1);
    setAttribute(Qt::WA_DeleteOnClose, false);

    picFrame_ = new PictureBox(this);
    picFrame_->setObjectName(QStringLiteral("picFrame"));
    picPanel_ = new PictureBox(picFrame_);
    picPanel_->setObjectName(QStringLiteral("picPanel"));
    picTemp_ = new PictureBox(this);
    picTemp_->setObjectName(QStringLiteral("picTemp"));
    picTemp_->AutoSize = true;
    picTemp_->hide();
    picTempFrame_ = new PictureBox(this);
    picTempFrame_->setObjectName(QStringLiteral("picTempFrame"));
    picTempFrame_->hide();
    for (int16_t i = 0; i < kMultiSlots; ++i) {
        auto* slot = new PictureBox(picTempFrame_);
        slot->setObjectName(QStringLiteral("picTempMulti%1").arg(i));
        slot->AutoSize = true;
        slot->hide();
        picTempMulti_.push_back(slot);
    }
    VScroll1_ = new QScrollBar(Qt::Vertical, this);
    VScroll1_->setObjectName(QStringLiteral("VScroll1"));
    VScroll1_->hide();
    HScroll1_ = new QScrollBar(Qt::Horizontal, this);
    HScroll1_->setObjectName(QStringLiteral("HScroll1"));
    HScroll1_->hide();
    lblCaption_ = new QLabel(this);
    lblCaption_->setObjectName(QStringLiteral("lblCaption"));
    lblCaption_->hide();

    connect(VScroll1_, &QScrollBar::valueChanged, this, [this] { VScroll1_Change(); });
    connect(HScroll1_, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
    connect(picPanel_, &PictureBox::MouseDown, this, &frmPanel::picPanel_MouseDown);
    connect(picFrame_, &PictureBox::MouseDown, this, &frmPanel::picFrame_MouseDown);
    connect(picPanel_, &PictureBox::DblClick, this, &frmPanel::picPanel_DblClick);

    // Form_Load.
    IsDirty = false;
    IsMarked = false;
    IsBase = false;
}

// --- Placement -------------------------------------------------------------------------

QMdiSubWindow* frmPanel::SubWindow() const { return qobject_cast<QMdiSubWindow*>(parentWidget()); }

QWidget* frmPanel::Frame() const {
    if (QMdiSubWindow* sub = SubWindow())
        return sub;
    return const_cast<frmPanel*>(this);
}

int32_t frmPanel::Left() const { return PixelsToTwipsX(Frame()->x()); }
int32_t frmPanel::Top() const { return PixelsToTwipsY(Frame()->y()); }
int32_t frmPanel::Width() const { return PixelsToTwipsX(Frame()->width()); }
int32_t frmPanel::Height() const { return PixelsToTwipsY(Frame()->height()); }
double frmPanel::ScaleWidth() const { return PixelsToTwipsX(ClientSize().width()); }
double frmPanel::ScaleHeight() const { return PixelsToTwipsY(ClientSize().height()); }

QSize frmPanel::FrameExtent() const {
    // The frame's own margins: a frame not shown yet has not laid this window out, and one
    // sized below its title bar squeezes it to nothing, so this window's size can't tell.
    if (const QMdiSubWindow* sub = SubWindow()) {
        const QMargins m = sub->contentsMargins();
        return QSize(m.left() + m.right(), m.top() + m.bottom());
    }
    return QSize(0, 0);
}

QSize frmPanel::ClientSize() const {
    if (!SubWindow())
        return size();
    const QSize inner = Frame()->size() - FrameExtent();
    return QSize(std::max(0, inner.width()), std::max(0, inner.height()));
}

void frmPanel::Move(int32_t left, int32_t top) {
    Frame()->move(TwipsToPixelsX(left), TwipsToPixelsY(top));
}

void frmPanel::Resize(int32_t width, int32_t height) {
    // A stored size no screen can show (a shared file's, say) would make the zoomed copy of the
    // picture as large.
    const QSize size = PictureBudget::FitToScreen(QSize(TwipsToPixelsX(width), TwipsToPixelsY(height)));
    Frame()->resize(std::max(1, size.width()), std::max(1, size.height()));
}

clsWorkspacePanel* frmPanel::Record() const {
    return gWorkspace ? gWorkspace->Panels(Index) : nullptr;
}

QString frmPanel::CacheFile() const {
    const clsWorkspacePanel* record = Record();
    if (!record || record->ID < 1)
        return QString();
    return PanelPicturePath(record->ID);
}

void frmPanel::LogCacheNotWritten(const QString& why) const {
    // The picture is shown all the same and painted again next time; nothing is lost.
    LogEvent(kModule, QStringLiteral("Panel_LoadExcel"),
             QStringLiteral("The picture of panel ") +
                 QString::number(Record() ? Record()->ID : 0) +
                 QStringLiteral(" was not cached: ") + why,
             false);
}

frmWorkspace* frmPanel::MainWindow() const { return qobject_cast<frmWorkspace*>(window()); }

bool frmPanel::EditMode() const {
    const frmWorkspace* main = MainWindow();
    return main && main->EditMode;
}

// --- Loading ---------------------------------------------------------------------------

bool frmPanel::Panel_Load(ExcelApp& XLInst, bool Refresh) {
    return LoadOrReload(XLInst, Refresh, false);
}

bool frmPanel::Panel_Reload(ExcelApp& XLInst) { return LoadOrReload(XLInst, false, true); }

bool frmPanel::LoadOrReload(ExcelApp& XLInst, bool Refresh, bool Reload) {
    const QString procedure = Reload ? QStringLiteral("Panel_Reload") : QStringLiteral("Panel_Load");
    try {
        IsLoad = true;
        if (!Reload)
            IsDirty = false;
        if (!XLInst) {
            LogEvent(kModule, procedure, QStringLiteral("XLInst Is Nothing"), false);
            return false;
        }
        clsWorkspacePanel* record = Record();
        if (!record) {
            LogEvent(kModule, procedure, QStringLiteral("No panel record at index %1").arg(Index),
                     false);
            return false;
        }
        clsPanelSource* source = record->Source();
        if (!source) {
            MsgBox(QStringLiteral("Panel has no source defined."), vbExclamation);
            return false;
        }
        waitsForWorkbook_ = false;
        const QString cache = CacheFile();
        // A refresh paints the picture anew; the cached one goes only once the workbook it is
        // painted from is known to be whole.
        const bool dropCache = !Reload && Refresh && record->ID > 0;
        // A source that could not be brought up to date (reported) still names the newest
        // file it knows of: the panel is painted from that.
        (void)source->GetLatest(gDB.get(), Reload);
        const bool cached = !dropCache && record->ID > 0 && FileExists(cache);
        if (Reload && cached)
            return false;  // the picture shown is still the newest
        if (!Reload && !cached && record->ID > 0) {
            // The update pass may have relocated the range in the stored row; a row that can't
            // be read again (reported) leaves the record as it was.
            (void)record->LoadFromDB(record->ID, gDB.get());
            record = Record();
            source = record->Source();
            if (!source) {
                MsgBox(QStringLiteral("Panel has no source defined."), vbExclamation);
                return false;
            }
        }
        const QString path = SourceFileToLoad(source);
        if (path.isEmpty())
            return false;
        const PanelContent type = record->ContentType;
        if (dropCache && !ShowsWorkbook(type) && FileExists(cache))
            QFile::remove(cache);
        if (type == PanelContent::Picture) {
            if (const QSize size = QImageReader(path).size(); size.isValid() && !PictureAllowed(size, path))
                return false;
            QImage picture(path);
            if (picture.isNull())
                throw xl::Error(path + QStringLiteral(" is not a picture that can be read."));
            if (!PictureAllowed(picture.size(), path))
                return false;
            picTemp_->AutoSize = true;
            picTemp_->SetPicture(picture);
        } else if (ShowsWorkbook(type)) {
            const QString openPath = record->IsCustom == PanelPaste::Custom ? source->Prepped() : path;
            // A workbook caught while it is being written, or left cut short, is not painted
            // from: the panel keeps the picture it has. Without one it waits, and nobody is
            // asked to delete a panel whose only fault is its file's late arrival.
            // Looked at only when the picture is to be painted: a cached one shown as it is
            // needs no workbook.
            const bool paint = dropCache || !FileExists(cache);
            const QString notWhole = paint ? VersionNotWhole(openPath) : QString();
            if (!notWhole.isEmpty()) {
                LogEvent(kModule, procedure,
                         openPath + QStringLiteral(" is not painted from yet: ") + notWhole, false);
                if (!FileExists(cache)) {
                    waitsForWorkbook_ = true;
                    MsgBox(QStringLiteral("Unable to load panel.  [") + openPath +
                               QStringLiteral("] is not a whole workbook yet: ") + notWhole +
                               QStringLiteral(
                                   ".\r\nRefresh the dashboard once the whole file is there."),
                           vbExclamation);
                    return false;
                }
            } else if (dropCache && FileExists(cache)) {
                QFile::remove(cache);
            }
            if (!Panel_LoadExcel(openPath, path, false, XLInst))
                return false;
        } else if (!LoadOtherSource(path)) {
            return false;
        }
        if (PicturePending())
            return true;  // FinishPicture shows it
        ApplyDisplayMode(Record());
        IsLoad = false;
        return true;
    } catch (const std::exception& e) {
        LogError(kModule, procedure, ErrNum::kGeneral, ErrorText(e), true);
        return false;
    }
}

QString frmPanel::SourceFileToLoad(clsPanelSource* source) {
    QString path = source->WorkbookPath();
    if (FileExists(path))
        return source->WorkbookInUse();
    if (!ConfirmAction(QStringLiteral("Unable to load panel.  [") + path +
                       QStringLiteral("] not found. Do you want to look for the file "
                                      "yourself?")))
        return QString();
    BrowseExcelFile(path);
    if (path.isEmpty()) {
        MsgBox(QStringLiteral("Unable to load panel.  No file selected."), vbExclamation);
        return QString();
    }
    if (!FileExists(path)) {
        MsgBox(QStringLiteral("Unable to load panel.  [") + path + QStringLiteral("] not found"),
               vbExclamation);
        return QString();
    }
    source->FullPath = path;
    source->DestFolder = FolderOf(path);
    // The panel is loaded from the chosen file now; one whose row can't be stored (reported)
    // is asked for again next time.
    (void)source->SaveToDB(gDB.get());
    return path;
}

bool frmPanel::ShowCachedPicture() {
    clsWorkspacePanel* record = Record();
    if (!record || record->ID < 1)
        return false;
    const QString cache = CacheFile();
    if (!FileExists(cache))
        return false;
    const QDateTime written = QFileInfo(cache).lastModified();
    if (!PictureFits(QImageReader(cache).size()))
        return false;  // painted again, and refused aloud
    const QImage picture(cache);
    if (picture.isNull())
        return false;
    IsLoad = true;
    picTemp_->AutoSize = true;
    picTemp_->SetPicture(picture);
    shownCacheKey_ = picture.cacheKey();
    shownCacheTime_ = written;
    ApplyDisplayMode(record);
    IsLoad = false;
    return true;
}

bool frmPanel::QueuePainting(ExcelApp& XLInst, xl::Workbook*& Book, PanelContent ContentType,
                             const QString& What, const QString& Cache, const QSize& Size,
                             std::shared_ptr<PictureBudget::PaintingRoom> Room) {
    // The workbook goes with the job: what relocation hid or sized is painted, and no later
    // panel opens it in that state.
    std::shared_ptr<xl::Workbook> book(XLInst->Detach(Book));
    Book = nullptr;
    if (!book)
        throw xl::Error(QStringLiteral("The workbook to paint from is not open."));
    auto promise = std::make_shared<std::promise<Painted>>();
    pending_ = promise->get_future().share();
    pendingPixels_ = PixelsToShow(Size);
    pendingChart_.clear();
    if (ContentType == PanelContent::Chart && book->ActiveSheet())
        pendingChart_ = QStringLiteral("A chart named ") + xl::DescribeReference(What) + QStringLiteral(" was not found in spreadsheet [") +
                        book->ActiveSheet()->Name() + QStringLiteral("] of workbook [") + book->Name() +
                        QStringLiteral("].\r\nYou may have to re-define the dashboard object.\r\nSee "
                                       "Help for more information.");
    QThreadPool::globalInstance()->start([promise, book, ContentType, What, Cache, Room]() mutable {
        Painted out;
        out.chart = ContentType == PanelContent::Chart;
        try {
            xl::Worksheet* sheet = book->ActiveSheet();
            if (!sheet)
                throw xl::Error(QStringLiteral("No active sheet"));
            if (out.chart) {
                xl::ChartPicture picture = xl::ShapePicture(*sheet->Shapes().Item(What));
                out.image = std::move(picture.image);
                out.note = picture.note;
            } else {
                out.image = xl::RangePicture(sheet->Range(What));
            }
            if (!Cache.isEmpty() && !out.image.isNull())
                out.cacheError = WritePanelPicture(out.image, Cache);
        } catch (const std::exception& e) {
            out.error = QString::fromUtf8(e.what());
        }
        // A picture holds its room until it is shown; a failed one gives it back now.
        if (!out.image.isNull())
            out.room = std::move(Room);
        Room.reset();
        promise->set_value(std::move(out));
    });
    if (clsWorkspacePanel* record = Record())
        record->ContentType = ContentType;
    return true;
}

int64_t frmPanel::PlannedPixels() const {
    if (PicturePending())
        return pendingPixels_;
    // Shown as it is, the picture is shared; zoomed, the window holds a copy of its own.
    const QImage picture = picTemp_->Picture(), shown = picPanel_->Picture();
    const int64_t copy = shown.cacheKey() == picture.cacheKey() ? 0 : PictureBudget::Pixels(shown.size());
    return PictureBudget::Pixels(picture.size()) + copy + picPanel_->DrawingPixels();
}

int64_t frmPanel::PixelsToShow(const QSize& size) const {
    int64_t pixels = PictureBudget::Pixels(size);
    // Zoomed, the window holds a copy of the picture the size of its own.
    if (const clsWorkspacePanel* record = Record(); record && record->ViewType == PanelView::Zoom)
        pixels += PictureBudget::Pixels(
            PictureBudget::FitToScreen(QSize(TwipsToPixelsX(record->pWidth), TwipsToPixelsY(record->pHeight))));
    return pixels;
}

bool frmPanel::PictureFits(const QSize& size) const {
    if (!PictureBudget::FitsScreen(size))
        return false;
    int64_t others = 0;
    if (const frmWorkspace* main = MainWindow())
        for (const frmPanel* panel : main->PanelWindows())
            if (panel != this)
                others += panel->PlannedPixels();
    return others + PixelsToShow(size) <= PictureBudget::kDashboardPixels;
}

bool frmPanel::PictureAllowed(const QSize& size, const QString& what) {
    if (PictureFits(size))
        return true;
    // What is told is put in whole: a path may hold a "%".
    const QString pixels = QStringLiteral("%1 x %2 pixels").arg(size.width()).arg(size.height());
    const QString text =
        !PictureBudget::FitsScreen(size)
            ? QStringLiteral("The picture of ") + what + QStringLiteral(" would be ") + pixels +
                  QStringLiteral(", larger than a screen can show (at most %1 pixels wide or tall, and %2 "
                                 "megapixels in all). Choose a smaller range.")
                      .arg(PictureBudget::kMaxSide)
                      .arg(double(PictureBudget::kMaxPixels) / 1e6, 0, 'f', 1)
            : QStringLiteral("The picture of ") + what + QStringLiteral(" (") + pixels +
                  QStringLiteral(") does not fit beside the other panels of this dashboard: together they would "
                                 "hold more than %1 megapixels of pictures (%2 MB). Show smaller ranges, or put "
                                 "some panels on another dashboard.")
                      .arg(PictureBudget::kDashboardPixels / 1000000)
                      .arg(PictureBudget::kDashboardPixels * 4 / 1000000);
    LogEvent(kModule, QStringLiteral("Panel_LoadExcel"), text, false);
    MsgBox(text, vbExclamation);
    return false;
}

std::shared_ptr<PictureBudget::PaintingRoom> frmPanel::TakePaintingRoom(const QSize& size) {
    return PictureBudget::PaintingRoom::Take(PictureBudget::Pixels(size), [this] {
        xl::WhileWaiting();
        if (frmWorkspace* main = MainWindow())
            main->ShowPaintedPictures();
    });
}

bool frmPanel::PicturePainted() const {
    if (!pending_.valid() || pending_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return false;
    const Painted& painted = pending_.get();
    return painted.error.isEmpty() && !painted.image.isNull();
}

bool frmPanel::FinishPicture() {
    if (!pending_.valid())
        return true;
    while (pending_.wait_for(std::chrono::milliseconds(15)) != std::future_status::ready)
        xl::WhileWaiting();
    const Painted painted = pending_.get();
    pending_ = {};
    pendingPixels_ = 0;
    if (!painted.error.isEmpty() || painted.image.isNull()) {
        // As the painting through the clipboard reports it.
        if (painted.chart) {
            MsgBox(pendingChart_, vbInformation);
        } else {
            LogError(kModule, QStringLiteral("Panel_PasteExcel"), ErrNum::kGeneral,
                     painted.error.isEmpty() ? QStringLiteral("There is no picture on the clipboard.") : painted.error,
                     true);
        }
        return false;
    }
    if (!painted.note.isEmpty())
        LogEvent(kModule, QStringLiteral("CopyChartPicture"), painted.note, false);
    if (!painted.cacheError.isEmpty())
        LogCacheNotWritten(painted.cacheError);
    picTemp_->AutoSize = true;
    picTemp_->AutoRedraw = true;
    picTemp_->SetPicture(painted.image);
    ApplyDisplayMode(Record());
    IsLoad = false;
    return true;
}

bool frmPanel::Panel_LoadExcel(const QString& OpenPath, const QString& SourcePath,
                               bool Interactive, ExcelApp& XLInst) {
    bool ok = false;
    QString cache;
    if (!XLInst) {
        LogEvent(kModule, QStringLiteral("Panel_LoadExcel"), QStringLiteral("XLInst Is Nothing"),
                 false);
        return false;
    }
    xl::Workbook* book = nullptr;
    try {
        clsWorkspacePanel* record = Record();
        if (!record)
            throw xl::Error(QStringLiteral("No panel record at index %1").arg(Index));
        if (record->ID > 0) {
            cache = CacheFile();
            if (FileExists(cache)) {
                // Shown from this very file a moment ago (the dashboard opening): kept.
                if (picTemp_->Picture().cacheKey() == shownCacheKey_ &&
                    QFileInfo(cache).lastModified() == shownCacheTime_)
                    return true;
                // One too large for the budget is painted again, and refused aloud.
                const QImage picture = PictureFits(QImageReader(cache).size()) ? QImage(cache) : QImage();
                if (!picture.isNull()) {
                    picTemp_->AutoSize = true;
                    picTemp_->SetPicture(picture);
                    return true;
                }
                // An unreadable cache file is rendered again and replaced.
            }
        }
        const QString SheetName = record->SheetName;
        book = OpenWithSheets(XLInst, OpenPath, {SheetName});
        if (!Excel_HasSheet(book, SheetName)) {
            MsgBox(QStringLiteral("A sheet named ") + SheetName +
                       QStringLiteral(" was not found in the workbook [") + book->Name() +
                       QStringLiteral("].\r\nYou may have to re-define the dashboard object.\r\n"
                                      "See Help for more information."),
                   vbInformation);
        } else {
            xl::Worksheet* sheet = book->Sheets().Item(SheetName);
            sheet->Select();
            const PanelContent type = record->ContentType;
            if (ShowsRange(type) && record->IsCustom == PanelPaste::Custom) {
                AdjOrigRange(XLInst, record, SourcePath);
                sheet->Select();
                const QString what = record->adjRange(sheet);
                const QSize size = xl::RangePictureSize(*sheet, sheet->Range(what).Ref());
                if (PictureAllowed(size, sheet->Name() + QLatin1Char('!') + xl::FormatAddress(sheet->Range(what).Ref(), false))) {
                    const auto room = TakePaintingRoom(size);
                    ok = Panel_PasteExcel(XLInst, PanelContent::Range, what);
                }
            } else if (ShowsRange(type)) {
                ok = PaintRange(XLInst, book, sheet, Interactive, cache);
            } else if (type == PanelContent::Chart) {
                ok = PaintChart(XLInst, book, sheet, Interactive, cache);
            }
        }
        if (book)
            book->Close();
        book = nullptr;
        if (!cache.isEmpty() && ok && !PicturePending()) {
            if (const QString why = WritePanelPicture(picTemp_->Picture(), cache); !why.isEmpty())
                LogCacheNotWritten(why);
        }
    } catch (const std::exception& e) {
        // Closed at once, unsaved: rows hidden or sized for this panel must never reach the
        // next panel rendered from the same workbook in this instance.
        if (book) {
            try {
                book->Close();
            } catch (const std::exception&) {
            }
        }
        ok = false;
        LogError(kModule, QStringLiteral("Panel_LoadExcel"), ErrNum::kGeneral, ErrorText(e), true);
    }
    return ok;
}

bool frmPanel::PaintRange(ExcelApp& XLInst, xl::Workbook*& book, xl::Worksheet* sheet,
                          bool Interactive, const QString& cache) {
    clsWorkspacePanel* record = Record();
    sheet->Select();
    QString bottom, anchor, content;
    record->parseContentMatch(bottom, anchor, content);
    bool refuse = false;
    if (!bottom.isEmpty() && Interactive) {
        const QString now = RealBottomRight(sheet);
        refuse = sheet->Range(bottom).Address() != (now.isEmpty() ? QString() : sheet->Range(now).Address());
    }
    // The copied cells against the file: edits not saved differ here even when the last used
    // cell stayed where it was.
    if (!refuse && Interactive && pasteCheckCopied_)
        refuse = !desk::CopiedTextMatches(pasteCopiedText_,
                                          DisplayedCells(sheet, sheet->Range(pasteSelection_)));
    if (refuse) {
        MsgBox(ChangedNotSaved(), vbCritical);
        return false;
    }
    // A range not found in this version (logged) is painted where it was stored.
    (void)record->GetAdjRange(sheet);
    const QString what = record->adjRange(sheet);
    const xl::RangeRef ref = sheet->Range(what).Ref();
    const QSize size = xl::RangePictureSize(*sheet, ref);
    if (!PictureAllowed(size, sheet->Name() + QLatin1Char('!') + xl::FormatAddress(ref, false)))
        return false;
    auto room = TakePaintingRoom(size);
    if (DeferPainting && !Interactive)
        return QueuePainting(XLInst, book, PanelContent::Range, what, cache, size, std::move(room));
    return Panel_PasteExcel(XLInst, PanelContent::Range, what);
}

bool frmPanel::PaintChart(ExcelApp& XLInst, xl::Workbook*& book, xl::Worksheet* sheet,
                          bool Interactive, const QString& cache) {
    const clsWorkspacePanel* record = Record();
    if (Excel_HasShape(sheet, record->PicRange)) {
        const QSize size = xl::ShapePictureSize(*sheet->Shapes().Item(record->PicRange));
        if (!PictureAllowed(size, QStringLiteral("the chart ") + record->PicRange))
            return false;
        auto room = TakePaintingRoom(size);
        if (DeferPainting && !Interactive)
            return QueuePainting(XLInst, book, PanelContent::Chart, record->PicRange, cache, size,
                                 std::move(room));
        return Panel_PasteExcel(XLInst, PanelContent::Chart, record->PicRange);
    }
    if (Interactive) {
        MsgBox(ChangedNotSaved(), vbCritical);
    } else {
        MsgBox(QStringLiteral("A chart named ") + xl::DescribeReference(record->PicRange) +
                   QStringLiteral(" was not found in spreadsheet [") + sheet->Name() +
                   QStringLiteral("] of worksbook [") + book->Name() +
                   QStringLiteral("].\r\nYou may have to re-define the dashboard "
                                  "object.\r\nSee Help for more information."),
               vbInformation);
    }
    return false;
}

void frmPanel::AdjOrigRange(ExcelApp& XLInst, clsWorkspacePanel* Panel, const QString& SourcePath) {
    xl::Workbook* book = nullptr;
    try {
        book = OpenWithSheets(XLInst, SourcePath, {Panel->SheetName});
        if (Excel_HasSheet(book, Panel->SheetName))
            (void)Panel->GetAdjRange(book->Sheets().Item(Panel->SheetName));  // logged; stays where stored
        book->Close();
    } catch (const std::exception& e) {
        if (book)
            book->Close();
        LogError(kModule, QStringLiteral("AdjOrigRange"), ErrNum::kGeneral, ErrorText(e), true);
    }
}

bool frmPanel::LoadOtherSource(const QString& /*Path*/) { return true; }

void frmPanel::BrowseExcelFile(QString& Path) {
    // The file that was not found is the file concerned: its folder may still be there.
    Path = AskOpenFile(this, QStringLiteral("Select file to open"), Path,
                       QStringLiteral("Microsoft Excel files (*.xlsx *.xlsm)"));
}

// --- Paste -----------------------------------------------------------------------------

QString frmPanel::UserExcelRefusal(bool attached, const UserExcel* XL) {
    auto withReason = [XL](const QString& text) {
        return XL && !XL->Problem.isEmpty() ? text + QStringLiteral("\r\n") + XL->Problem : text;
    };
    if (!attached)
        return QStringLiteral("Unable to paste.  No Excel instance loaded to paste data from.");
    if (!XL || !XL->App)
        return QStringLiteral("Unable to paste.  Excel is not open.");
    if (!XL->Visible)
        return QStringLiteral("Unable to paste.  Excel is not visible.");
    if (!XL->ActiveWorkbook())
        return withReason(QStringLiteral("Unable to paste.  No workbook opened."));
    if (!XL->ActiveSheet())
        return withReason(QStringLiteral("Unable to paste.  No worksheet selected."));
    return QString();
}

void frmPanel::GetUserExcel(UserExcelRef& XL) {
    try {
        UserExcelRef user;
        const bool attached = Excel_GetInstance(user);
        const QString refusal = UserExcelRefusal(attached, user.get());
        if (!refusal.isEmpty()) {
            MsgBox(refusal, vbExclamation);
            XL.reset();
            return;
        }
        XL = user;
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("GetUserExcel"), ErrNum::kGeneral, ErrorText(e), true);
        XL.reset();
    }
}

bool frmPanel::Panel_Paste() {
    bool result = false;
    try {
        UserExcelRef XL;
        GetUserExcel(XL);
        if (!XL)
            return false;
        clsWorkspacePanel* record = Record();
        if (!record)
            throw xl::Error(QStringLiteral("No panel record at index %1").arg(Index));
        xl::Workbook* workbook = XL->ActiveWorkbook();
        xl::Worksheet* sheet = XL->ActiveSheet();
        xl::Window* window = XL->ActiveWindow();
        const QString fullName = workbook->FullName();

        record->SourceID = gSources ? gSources->AddSource(fullName) : 0;
        if (record->SourceID < 1) {
            MsgBox(QStringLiteral("Unable to register the source workbook ") + fullName +
                       QStringLiteral("."),
                   vbExclamation);
            return false;
        }
        // The name without its extension; any other dots are part of the name.
        QString fileName, ext;
        SplitPath(fullName, nullptr, &fileName, &ext);
        record->Caption = fileName;
        record->SheetName = sheet->Name();
        record->ViewType = PanelView::AutoSize;
        record->ContentMatch.clear();
        record->RelativeTo = QStringLiteral("bottom");
        const bool custom = record->IsCustom == PanelPaste::Custom;
        const QString customCopy = record->Source() ? record->Source()->Prepped() : QString();
        if (custom) {
            const bool made = MakeTemplates(
                record, window, workbook, record->SheetName,
                XL->Selection == UserExcel::SelectionKind::ChartObject ? XL->ChartName : QString());
            if (!made) {
                MsgBox(QStringLiteral("Unable to copy ") + fullName +
                           QStringLiteral(". Cannot continue with Paste Custom feature."),
                       vbExclamation);
                XL->App->DisplayAlerts = true;
                return false;
            }
        }

        if (XL->Selection == UserExcel::SelectionKind::Range) {
            result = PasteCopiedRange(*XL, record, custom ? customCopy : fullName);
        } else if (XL->Selection != UserExcel::SelectionKind::ChartObject) {
            MsgBox(QStringLiteral("Unable to paste.  Invalid selection.  Must either select a "
                                  "range, chart object or shape."),
                   vbExclamation);
            return false;
        } else {
            result = PasteCopiedChart(*XL, record, custom ? customCopy : fullName);
        }
        if (clsWorkspacePanel* r = Record())
            r->ViewType = PanelView::Crop;
        IsDirty = true;
        return result;
    } catch (const std::exception& e) {
        pasteCheckCopied_ = false;
        LogError(kModule, QStringLiteral("Panel_Paste"), ErrNum::kGeneral, ErrorText(e), true);
        return result;
    }
}

bool frmPanel::PasteCopiedRange(const UserExcel& XL, clsWorkspacePanel* record,
                                const QString& openPath) {
    xl::Worksheet* sheet = XL.ActiveSheet();
    xl::Window* window = XL.ActiveWindow();
    const QString fullName = XL.ActiveWorkbook()->FullName();
    QString RangeDefs = window->RangeSelection().Address();
    for (const xl::Pane& pane : window->Panes())
        RangeDefs += QLatin1Char('`') + pane.VisibleRange().Address();
    if (!record->PasteRange(sheet, RangeDefs))
        return false;
    record->ContentType = PanelContent::Range;
    bool result = false;
    HiddenInstance hidden;
    if (hidden.Start()) {
        // The copied cells are checked against the saved file as it is painted.
        pasteCheckCopied_ = XL.Copied.kind == desk::ClipboardKind::Cells;
        pasteSelection_ = window->RangeSelection().Address();
        pasteCopiedText_ = XL.Copied.copiedText;
        if (record->IsCustom != PanelPaste::Custom)
            record->ContentMatch = QStringLiteral("bottom=") + RealBottomRight(sheet);
        result = Panel_LoadExcel(openPath, fullName, true, hidden.XL);
        pasteCheckCopied_ = false;
        hidden.Close();
    }
    if (result)
        ApplyDisplayMode(Record());
    return result;
}

bool frmPanel::PasteCopiedChart(const UserExcel& XL, clsWorkspacePanel* record,
                                const QString& openPath) {
    const QString fullName = XL.ActiveWorkbook()->FullName();
    record->ContentType = PanelContent::Chart;
    record->PicRange = XL.ChartName;
    bool result = false;
    if (XL.ChartName.isEmpty()) {
        // No chart of the copied one's size in the workbook as saved: either it was made or
        // resized since the last save, or the workbook is another one.
        MsgBox(QStringLiteral("The copied chart was not found in the saved workbook ") + fullName +
                   QStringLiteral(".\r\nSave the workbook in your spreadsheet program, "
                                  "then copy the chart again."),
               vbExclamation);
        return false;
    }
    HiddenInstance hidden;
    if (hidden.Start()) {
        if (Excel_HasShape(XL.ActiveSheet(), record->PicRange)) {
            result = Panel_LoadExcel(openPath, fullName, true, hidden.XL);
        } else {
            // Not in the saved file: the chart was made or renamed since the last save.
            MsgBox(ChangedNotSaved(), vbCritical);
        }
        hidden.Close();
    }
    if (result)
        ApplyDisplayMode(Record());
    return result;
}

bool frmPanel::Panel_PasteExcel(ExcelApp& XLInst, PanelContent ContentType, const QString& What) {
    try {
        if (!XLInst || !XLInst->ActiveSheet())
            return false;
        picTemp_->AutoSize = true;
        picTemp_->SetPicture(QImage());
        QGuiApplication::clipboard()->clear();
        if (ContentType == PanelContent::Range) {
            XLInst->ActiveSheet()->Range(What).CopyPicture(1, 2);
        } else if (ContentType == PanelContent::Chart) {
            if (!CopyChartPicture(XLInst, What))
                return false;
        }
        CopyPic2007();
        picTemp_->AutoRedraw = true;
        const QImage bitmap = ClipboardBitmap();
        if (bitmap.isNull())
            throw xl::Error(QStringLiteral("There is no picture on the clipboard."));
        picTemp_->SetPicture(bitmap);
        if (clsWorkspacePanel* record = Record())
            record->ContentType = ContentType;
        return true;
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("Panel_PasteExcel"), ErrNum::kGeneral, ErrorText(e), true);
        return false;
    }
}

bool frmPanel::CopyChartPicture(ExcelApp& XLInst, const QString& ChartName) {
    xl::Worksheet* sheet = XLInst ? XLInst->ActiveSheet() : nullptr;
    try {
        if (!sheet)
            throw xl::Error(QStringLiteral("No active sheet"));
        const QString note = sheet->Shapes().Item(ChartName)->CopyPicture(1, 2);
        if (!note.isEmpty())
            LogEvent(kModule, QStringLiteral("CopyChartPicture"), note, false);
        return true;
    } catch (const std::exception&) {
        const QString sheetName = sheet ? sheet->Name() : QString();
        const QString bookName = sheet ? sheet->Parent()->Name() : QString();
        MsgBox(QStringLiteral("A chart named ") + xl::DescribeReference(ChartName) +
                   QStringLiteral(" was not found in spreadsheet [") + sheetName +
                   QStringLiteral("] of workbook [") + bookName +
                   QStringLiteral("].\r\nYou may have to re-define the dashboard object.\r\nSee "
                                  "Help for more information."),
               vbInformation);
        return false;
    }
}

bool frmPanel::ShowPictureMulti(ExcelApp& XLInst, int16_t Slot, const QString& What) {
    try {
        if (!XLInst || !XLInst->ActiveSheet())
            return false;
        if (Slot < 1 || Slot > int16_t(picTempMulti_.size()))
            throw xl::Error(QStringLiteral("Subscript out of range"));
        PictureBox* slot = picTempMulti_[size_t(Slot - 1)];
        slot->SetPicture(QImage());
        QGuiApplication::clipboard()->clear();
        XLInst->ActiveSheet()->Range(What).CopyPicture(1, 2);
        CopyPic2007();
        slot->SetPicture(ClipboardBitmap());
        return true;
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("ShowPictureMulti"), ErrNum::kGeneral, ErrorText(e), true);
        return false;
    }
}

void frmPanel::Panel_BrowsePicture() {
    const clsWorkspacePanel* shown = Record();
    const QString path = AskOpenFile(
        this, QStringLiteral("Select Picture"),
        shown && shown->Source() ? shown->Source()->FullPath : QString(),
        QStringLiteral("All Picture Files (*.bmp *.dib *.gif *.jpg *.wmf *.emf *.ico *.cur);;"
                       "Bitmaps (*.bmp *.dib);;GIF images (*.gif);;JPEG images (*.jpg);;"
                       "Metafiles (*.wmf *.emf);;Icons (*.ico *.cur)"));
    if (path.isEmpty())
        return;
    clsWorkspacePanel* record = Record();
    if (const QSize size = QImageReader(path).size(); size.isValid() && !PictureAllowed(size, path))
        return;
    const QImage picture(path);
    if (!record || picture.isNull() || !gSources || !PictureAllowed(picture.size(), path))
        return;
    // A source of its own: the record's old source is shared by every panel of its workbook.
    const int32_t sourceID = gSources->AddSource(path);
    if (sourceID < 1)
        return;
    picTemp_->AutoSize = true;
    picTemp_->SetPicture(picture);
    record->SourceID = sourceID;
    QString fileName;
    SplitPath(path, nullptr, &fileName);
    record->Caption = fileName;
    record->ContentType = PanelContent::Picture;
    record->ViewType = PanelView::AutoSize;
    Panel_Autosize();
    IsDirty = true;
}

namespace {
// A name no sheet of the workbook has, to park a sheet under until its replacement is in.
QString UnusedSheetName(xl::Workbook* book) {
    for (int n = 1;; ++n) {
        const QString name = QStringLiteral("PvOld%1").arg(n);
        if (!book->Sheets().Find(name))
            return name;
    }
}
}  // namespace

bool frmPanel::MakeTemplates(clsWorkspacePanel* Panel, xl::Window* /*Window*/,
                             xl::Workbook* Workbook, const QString& SheetName,
                             const QString& ChartName) {
    HiddenInstance instance;
    ExcelApp& hidden = instance.XL;
    try {
        clsPanelSource* source = Panel->Source();
        if (!source)
            throw xl::Error(QStringLiteral("The pasted workbook has no source"));
        // Named by the source, so the files are found again by its loads and launches.
        const QString copyPath = source->Prepped();
        const QString templatePath = source->CustomTemplate();
        if (CopyOpenWorkbook(Workbook, copyPath)) {
            if (!instance.Start()) {
                MsgBox(QStringLiteral("Unable to open Excel instance.  Please close some programs "
                                      "to free up memory."),
                       vbCritical);
            } else {
                hidden->Visible = false;
                hidden->DisplayAlerts = false;
                xl::Workbook* copy = hidden->Workbooks().Open(copyPath, true);
                xl::Workbook* tmpl = nullptr;
                if (FileExists(templatePath)) {
                    tmpl = hidden->Workbooks().Open(templatePath);
                } else {
                    tmpl = hidden->Workbooks().Add();
                    tmpl->SaveAs(templatePath);
                }
                // The template keeps one copy of each pasted sheet, the newest. A workbook can't
                // lose its last sheet, so the new copy goes in before the old one goes out.
                xl::Worksheet* old = tmpl->Sheets().Find(SheetName);
                if (old)
                    old->SetName(UnusedSheetName(tmpl));
                copy->Sheets().Item(SheetName)->Copy(tmpl->Sheets().Item(1));
                if (old)
                    old->Delete();

                if (ChartName.isEmpty()) {
                    xl::Workbook* saved = hidden->Workbooks().Open(Workbook->FullName(), true);
                    if (xl::Worksheet* ws = saved->Sheets().Find(SheetName))
                        Panel->ContentMatch = QStringLiteral("bottom=") + RealBottomRight(ws);
                } else {
                    Panel->PicRange = ChartName;
                    copy->Sheets().Item(SheetName)->Shapes().Item(ChartName)->Copy();
                    xl::Worksheet* charts = tmpl->Sheets().Find(QStringLiteral("PvChartCopy"));
                    if (!charts) {
                        charts = tmpl->Sheets().Add();
                        charts->SetName(QStringLiteral("PvChartCopy"));
                    }
                    charts->Paste();
                    const auto pasted = charts->ChartObjects().All();
                    if (!pasted.empty())
                        pasted.back()->SetName(ChartName);
                }
                tmpl->Save();
                instance.Close();
            }
        }
        if (clsPanelSource* source = Panel->Source())
            source->HasCustom = true;
        return true;
    } catch (const std::exception& e) {
        instance.Close();
        LogError(kModule, QStringLiteral("MakeTemplates"), ErrNum::kGeneral, ErrorText(e), true);
        return false;
    }
}

// --- Title, activation, menus, launch --------------------------------------------------

void frmPanel::SetCaption() {
    const clsWorkspacePanel* record = Record();
    if (!record)
        return;
    QString title = record->Caption;
    if (EditMode()) {
        if (IsBase)
            title = QStringLiteral("*") + record->Caption;
        else if (IsMarked)
            title = QStringLiteral("**") + record->Caption;
    }
    if (gPanelTimeStamp) {
        // Without a source there is no file time to show; the title stays without it.
        if (const clsPanelSource* source = record->Source()) {
            const QDateTime d = source->NewestFileTime();
            const QDateTime now = QDateTime::currentDateTime();
            const QLocale locale = QLocale::system();
            QString stamp;
            if (d.date().daysTo(now.date()) != 0) {
                stamp = locale.toString(d, QStringLiteral("MMM d"));
            } else {
                const int hour12 = d.time().hour() % 12 == 0 ? 12 : d.time().hour() % 12;
                stamp = QStringLiteral("%1:%2 %3")
                            .arg(hour12, 2, 10, QLatin1Char('0'))
                            .arg(d.time().minute(), 2, 10, QLatin1Char('0'))
                            .arg(d.time().hour() < 12 ? locale.amText() : locale.pmText());
            }
            title += QStringLiteral("   (") + stamp + QLatin1Char(')');
        }
    }
    if (gCaptionAlignment == QLatin1String("Left")) {
        setWindowTitle(title);
        return;
    }
    // On the dashboard the title bar is the frame's: its title area and its style decide.
    if (const QMdiSubWindow* frame = SubWindow()) {
        const int blanks = CentringBlanks(frame, title);
        setWindowTitle(QString(blanks, QLatin1Char(' ')) + title);
        return;
    }
    const QFontMetrics metrics(lblCaption_->font());
    const int16_t w100 = ToInt16(PixelsToTwipsX(metrics.horizontalAdvance(QString(100, QLatin1Char(' ')))));
    const double wt = PixelsToTwipsX(metrics.horizontalAdvance(title));
    const int16_t offset = ToInt16(ScaleWidth() / 2 - wt / 2);
    const double n = w100 > 0 ? 100.0 / w100 * offset : 0;
    if (n <= 0)
        setWindowTitle(title);
    else
        setWindowTitle(QString(ToInt32(n), QLatin1Char(' ')) + title);
}

void frmPanel::Form_Activate() {
    // A picture box that sizes itself to its picture keeps that size: made smaller, a crop
    // panel scrolled to its far corner would show nothing of its picture.
    if (!picPanel_->AutoSize)
        picPanel_->resize(ClientSize());
    if (EditMode())
        SetMultiMenus();
    else
        SetPanelMenus();
}

void frmPanel::ToggleSelected() {
    if (EditMode()) {
        if (!IsBase)
            IsMarked = !IsMarked;
        SetCaption();
    } else {
        IsMarked = false;
        IsBase = false;
    }
}

void frmPanel::SetViewChecks(PanelView ViewType) {
    QWidget* main = window();
    if (!main || main == this)
        return;
    auto check = [main](const char* control, bool on) {
        if (QAction* action = main->findChild<QAction*>(QLatin1String(control)))
            action->setChecked(on);
    };
    check("mnuPanelAutosize", false);
    check("mnuPanelCrop", false);
    check("mnuPanelZoomToFit", false);
    if (ViewType == PanelView::Crop)
        check("mnuPanelCrop", true);
    else if (ViewType == PanelView::Zoom)
        check("mnuPanelZoomToFit", true);
    else
        check("mnuPanelAutosize", true);
}

void frmPanel::SetPanelMenus() {
    frmWorkspace* main = MainWindow();
    const clsWorkspacePanel* record = Record();
    if (!main || !record)
        return;
    auto item = [main](const char* control) {
        return main->findChild<QAction*>(QLatin1String(control));
    };
    if (QAction* a = item("mnuPanelLayout"))
        a->setChecked(main->EditMode);
    SetViewChecks(record->ViewType);
    if (QAction* a = item("mnuPanelCustomExcel"))
        a->setEnabled(record->IsCustom == PanelPaste::Custom);
    if (QAction* a = item("mnuPanelRange"))
        a->setEnabled(record->ContentType == PanelContent::Range);
    if (QAction* a = item("mnuPanelDrillback"))
        a->setEnabled(HasDrillback(record->SourceID, record->SheetName, gDB.get()));
}

void frmPanel::SetMultiMenus() {
    frmWorkspace* main = MainWindow();
    if (!main)
        return;
    if (QAction* a = main->findChild<QAction*>(QStringLiteral("mnuMultiLayout")))
        a->setChecked(main->EditMode);
}

void frmPanel::Panel_Launch() {
    const clsWorkspacePanel* record = Record();
    if (!record)
        return;
    const PanelContent type = record->ContentType;
    if (ShowsWorkbook(type) &&
        !record->SheetName.isEmpty())
        (void)LaunchExcel();  // a launch that fails says so itself
}

bool frmPanel::LaunchExcel() {
    try {
        clsWorkspacePanel* record = Record();
        clsPanelSource* source = record ? record->Source() : nullptr;
        if (!source)
            throw xl::Error(QStringLiteral("Object variable or With block variable not set"));
        (void)source->GetLatest(gDB.get(), true);  // as far as it got (reported): the newest known
        // The user's own workbook, even while the panels show a recalculated copy of it.
        const QString path = source->WorkbookPath();
        if (FileExists(path))
            return Excel_Launch(path, record->SheetName);
        MsgBox(QStringLiteral("Unable to launch Excel file.  [") + path + QStringLiteral("] not found."),
               vbExclamation);
        return false;
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("LaunchExcel"), ErrNum::kGeneral, ErrorText(e), true);
        return false;
    }
}

void frmPanel::Panel_LaunchCustom() {
    const clsWorkspacePanel* record = Record();
    if (!record)
        return;
    const PanelContent type = record->ContentType;
    if (ShowsWorkbook(type) &&
        record->IsCustom == PanelPaste::Custom && !record->SheetName.isEmpty())
        (void)LaunchCustomExcel();  // a launch that fails says so itself
}

bool frmPanel::LaunchCustomExcel() {
    try {
        clsWorkspacePanel* record = Record();
        clsPanelSource* source = record ? record->Source() : nullptr;
        if (!source)
            throw xl::Error(QStringLiteral("Object variable or With block variable not set"));
        const QString path = source->Prepped();
        if (FileExists(path))
            return Excel_Launch(path, record->SheetName);
        MsgBox(QStringLiteral("Unable to launch custom Excel file.  [") + path +
                   QStringLiteral("] not found."),
               vbExclamation);
        return false;
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("LaunchCustomExcel"), ErrNum::kGeneral, ErrorText(e), true);
        return false;
    }
}

void frmPanel::Panel_Drillback() {}

void frmPanel::ClearPanel() {
    picPanel_->SetPicture(QImage());
    IsDirty = true;
    if (clsWorkspacePanel* record = Record())
        record->ClearSource();
}

// The panel dialogs: each is modal and answers for itself; a cancelled one marks the panel
// changed all the same.
void frmPanel::Panel_Properties(bool IsNew) {
    ShowPanelDialog<frmPanelProperties>(QStringLiteral("frmPanelProperties"), this, IsNew);
    IsDirty = true;
}

void frmPanel::Panel_Range(bool IsNew) {
    ShowPanelDialog<frmRangeRelative>(QStringLiteral("frmRangeRelative"), this, IsNew);
    IsDirty = true;
}

void frmPanel::Panel_Caption(bool IsNew) {
    ShowPanelDialog<frmCaption>(QStringLiteral("frmCaption"), this, IsNew);
    SetCaption();
    IsDirty = true;
}

void frmPanel::Panel_DrillbackProperties() {
    const clsWorkspacePanel* record = Record();
    if (!record)
        return;
    const int32_t sourceID = record->SourceID;
    const QString sheetName = record->SheetName;
    AskCustom(QStringLiteral("frmDrillback"), [this, sourceID, sheetName] {
        frmDrillback dialog(this);
        dialog.SourceID = sourceID;
        dialog.SheetName = sheetName;
        dialog.Show();
        return QVariant(dialog.SourceDocID);
    });
}

// --- View types and scrolling ----------------------------------------------------------

void frmPanel::Panel_Autosize() {
    ++resizing_;
    // The frame's borders and title bar as the frame defines them: the difference of the
    // window's outer and inner sizes is wrong while the frame is hidden or smaller than them.
    const int32_t frameX = PixelsToTwipsX(FrameExtent().width());
    const int32_t frameY = PixelsToTwipsY(FrameExtent().height());
    picPanel_->AutoSize = true;
    if (clsWorkspacePanel* record = Record())
        record->ViewType = PanelView::AutoSize;
    picPanel_->SetPicture(picTemp_->Picture());
    Resize(ToInt32(picPanel_->Width() + frameX), ToInt32(picPanel_->Height() + frameY));
    picPanel_->SetLeft(0);
    picPanel_->SetTop(0);
    picFrame_->move(0, 0);
    picFrame_->resize(ClientSize());
    VScroll1_->hide();
    HScroll1_->hide();
    if (clsWorkspacePanel* record = Record()) {
        record->pWidth = Width();
        record->pHeight = Height();
    }
    SetCaption();
    if (!IsLoad)
        IsDirty = true;
    SetViewChecks(PanelView::AutoSize);
    --resizing_;
}

void frmPanel::Panel_Crop() {
    picPanel_->AutoSize = true;
    if (clsWorkspacePanel* record = Record())
        record->ViewType = PanelView::Crop;
    picPanel_->SetPicture(picTemp_->Picture());
    picFrame_->move(0, 0);
    picFrame_->SetWidth(ScaleWidth());
    picFrame_->SetHeight(ScaleHeight());
    if (picPanel_->Width() < picFrame_->Width())
        picPanel_->SetLeft((picFrame_->Width() - picPanel_->Width()) / 2);
    else
        picPanel_->SetLeft(0);
    if (picPanel_->Height() < picFrame_->Height())
        picPanel_->SetTop((picFrame_->Height() - picPanel_->Height()) / 2);
    else
        picPanel_->SetTop(0);
    SetScrollBars();
    if (!IsLoad)
        IsDirty = true;
    SetViewChecks(PanelView::Crop);
}

void frmPanel::SetScrollBars() {
    // Scroll values are 16-bit; a larger extent scrolls in coarser steps so that its end can
    // still be reached.
    auto setBar = [](QScrollBar* bar, double large, double max, double* unit) {
        *unit = 1;
        if (max > std::numeric_limits<int16_t>::max())
            *unit = std::ceil(max / std::numeric_limits<int16_t>::max());
        const QSignalBlocker blocker(bar);
        bar->setMinimum(0);
        bar->setMaximum(std::max<int>(0, ToInt16(max / *unit)));
        const int16_t page = std::max<int16_t>(1, ToInt16(large / *unit));
        bar->setPageStep(page);
        bar->setSingleStep(std::max<int16_t>(1, ToInt16(page / 10.0)));
    };
    const double thickV = PixelsToTwipsX(VScroll1_->sizeHint().width());
    const double thickH = PixelsToTwipsY(HScroll1_->sizeHint().height());
    VScroll1_->resize(VScroll1_->sizeHint().width(), VScroll1_->height());
    HScroll1_->resize(HScroll1_->width(), HScroll1_->sizeHint().height());

    if (picPanel_->Height() <= picFrame_->Height() && picPanel_->Width() <= picFrame_->Width()) {
        VScroll1_->hide();
        HScroll1_->hide();
        return;
    }
    if (picFrame_->Height() - thickH >= picPanel_->Height()) {
        VScroll1_->hide();
    } else {
        setBar(VScroll1_, picFrame_->Height() * 0.8,
               (picPanel_->Height() + thickH - picFrame_->Height()) * 1.1, &scrollUnitV_);
        VScroll1_->move(TwipsToPixelsX(picFrame_->Width() - thickV), 0);
        VScroll1_->resize(VScroll1_->width(), std::max(1, TwipsToPixelsY(picFrame_->Height() - thickH)));
        // The outer width, as the frame of the window counts it, less the bar.
        picFrame_->SetWidth(Width() - thickV);
        VScroll1_->show();
        VScroll1_->raise();
    }
    if (picFrame_->Width() - thickV >= picPanel_->Width()) {
        HScroll1_->hide();
        return;
    }
    setBar(HScroll1_, picFrame_->Width() * 0.8,
           (picPanel_->Width() + thickV - picFrame_->Width()) * 1.1, &scrollUnitH_);
    HScroll1_->move(0, TwipsToPixelsY(picFrame_->Height() - thickH));
    HScroll1_->resize(std::max(1, TwipsToPixelsX(picFrame_->Width() - thickV)), HScroll1_->height());
    picFrame_->SetHeight(Height() - thickH);
    HScroll1_->show();
    HScroll1_->raise();
}

void frmPanel::VScroll1_Change() { picPanel_->SetTop(-VScroll1_->value() * scrollUnitV_); }
void frmPanel::HScroll1_Change() { picPanel_->SetLeft(-HScroll1_->value() * scrollUnitH_); }

void frmPanel::Panel_ZoomToFit() {
    VScroll1_->hide();
    HScroll1_->hide();
    picFrame_->move(0, 0);
    picFrame_->SetWidth(ScaleWidth());
    picFrame_->SetHeight(ScaleHeight());
    picPanel_->AutoSize = false;
    picPanel_->SetLeft(0);
    picPanel_->SetTop(0);
    picPanel_->resize(picFrame_->size());
    picPanel_->AutoRedraw = true;
    picPanel_->SetPicture(QImage());
    if (clsWorkspacePanel* record = Record())
        record->ViewType = PanelView::Zoom;
    picPanel_->PaintPicture(picTemp_->Picture(), 0, 0, picPanel_->ScaleWidth(),
                            picPanel_->ScaleHeight());
    picPanel_->SetPicture(picPanel_->Image());
    if (!IsLoad)
        IsDirty = true;
    SetViewChecks(PanelView::Zoom);
}

void frmPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A frame laid out only now has the border and title bar the view type measured as
    // nothing while it was hidden; the layout is done again with them.
    const bool dirty = IsDirty;
    Form_Resize();
    IsDirty = dirty;
}

void frmPanel::Form_Resize() {
    // Autosize sets the window's size, which comes back here; that pass would only repeat it.
    if (resizing_ > 0)
        return;
    clsWorkspacePanel* record = Record();
    if (!record)
        return;
    ++resizing_;
    SetCaption();
    const PanelView view = record->ViewType;
    --resizing_;
    if (view == PanelView::AutoSize) {
        Panel_Autosize();
    } else if (view == PanelView::Crop) {
        picPanel_->resize(ClientSize());
        Panel_Crop();
    } else if (view == PanelView::Zoom) {
        picPanel_->resize(ClientSize());
        Panel_ZoomToFit();
    }
    if (!IsLoad)
        IsDirty = true;
}

void frmPanel::ApplyDisplayMode(clsWorkspacePanel* Panel) {
    if (!Panel)
        return;
    ++resizing_;
    const PanelView view = Panel->ViewType;
    if (view == PanelView::Crop) {
        Resize(Panel->pWidth, Panel->pHeight);
        --resizing_;
        Panel_Crop();
    } else if (view == PanelView::Zoom) {
        Resize(Panel->pWidth, Panel->pHeight);
        --resizing_;
        Panel_ZoomToFit();
    } else {
        --resizing_;
        Panel_Autosize();
    }
    SetCaption();
}

// --- Mouse -----------------------------------------------------------------------------

void frmPanel::picPanel_MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers /*Shift*/,
                                  double /*X*/, double /*Y*/) {
    frmWorkspace* main = MainWindow();
    if (Button == Qt::RightButton) {
        if (main && SubWindow())
            main->mdiArea()->setActiveSubWindow(SubWindow());
        setFocus();
        const QString menuName = EditMode() ? QStringLiteral("mnuMultiPanel") : QStringLiteral("mnuPanel");
        if (EditMode())
            SetMultiMenus();
        else
            SetPanelMenus();
        if (main)
            if (QMenu* menu = main->findChild<QMenu*>(menuName))
                menu->popup(QCursor::pos());
    } else if (Button == Qt::LeftButton) {
        if (EditMode())
            ToggleSelected();
    }
}

void frmPanel::picFrame_MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, double X,
                                  double Y) {
    picPanel_MouseDown(Button, Shift, X, Y);
}

void frmPanel::picPanel_DblClick() {
    // Launching asks the source for its latest version: not while a pass is asking it.
    const frmWorkspace* main = MainWindow();
    if (!EditMode() && !(main && main->IsPassRunning()))
        Panel_Launch();
}
