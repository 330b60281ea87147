#pragma once
// A panel window: one child window of the dashboard area showing one panel of the current
// dashboard. It reaches its record only as gWorkspace->Panels(Index) and the record's source
// only through the record. Every picture it shows (rendered from a workbook, read from the
// picture cache or from a picture file) lands in the hidden holding picture picTemp first; the
// view types (autosize, crop, zoom to fit) lay it out from there into picPanel.

#include "model/PanelCodes.h"
#include "services/UserExcel.h"
#include "services/modUtilsExcel.h"
#include "windows/PictureBudget.h"

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <future>
#include <vector>

class QLabel;
class QMdiSubWindow;
class QScrollBar;
class PictureBox;
class clsPanelSource;
class clsWorkspacePanel;
class frmWorkspace;

class frmPanel : public QWidget {
    Q_OBJECT
public:
    explicit frmPanel(QWidget* parent = nullptr);

    int16_t Index = 0;      // position of the record in gWorkspace's list
    bool IsDirty = false;   // changed since loaded or saved
    bool IsLoad = false;    // a load or reload is under way
    bool IsMarked = false;  // layout mode: selected
    bool IsBase = false;    // layout mode: reference panel

    void SetCaption();
    void Panel_Autosize();
    void Panel_Crop();
    [[nodiscard]] bool Panel_Paste();
    void Panel_BrowsePicture();
    void Panel_ZoomToFit();
    void Panel_Launch();
    void Panel_LaunchCustom();
    void Panel_Drillback();
    [[nodiscard]] bool Panel_Reload(ExcelApp& XLInst);
    [[nodiscard]] bool Panel_Load(ExcelApp& XLInst, bool Refresh);

    // While the caller sets it, a load that renders a range or chart paints it on another core:
    // Panel_Load returns True with the picture still coming (PicturePending), and
    // FinishPicture shows it. A dashboard's panels are painted side by side so.
    bool DeferPainting = false;
    [[nodiscard]] bool PicturePending() const { return pending_.valid(); }
    // The picture painted elsewhere is there and sound: FinishPicture would show it at once.
    [[nodiscard]] bool PicturePainted() const;
    // Waits for the picture painted elsewhere (the engine's wait hook runs meanwhile), then shows
    // it in the record's view type as Panel_Load would have; False after reporting a painting
    // that failed.
    [[nodiscard]] bool FinishPicture();
    // The last load found the workbook it paints from not whole yet (still arriving, or cut
    // short) and had no picture to keep: nothing is wrong with the panel itself.
    [[nodiscard]] bool WaitsForWorkbook() const { return waitsForWorkbook_; }
    // Shows the panel's cached picture, when there is one, without asking its source for
    // anything: what a dashboard shows while its sources are fetched. False when there is none.
    [[nodiscard]] bool ShowCachedPicture();
    void Panel_Properties(bool IsNew);
    void Panel_Range(bool IsNew);
    void Panel_Caption(bool IsNew);
    void Panel_DrillbackProperties();

    // Placement of the window in the dashboard area, in twips.
    int32_t Left() const;
    int32_t Top() const;
    int32_t Width() const;
    int32_t Height() const;
    // The client area, as the frame lays it out (also while the frame is hidden).
    double ScaleWidth() const;
    double ScaleHeight() const;
    // What the frame's borders and title bar add to the client area, in pixels.
    QSize FrameExtent() const;
    QSize ClientSize() const;
    void Move(int32_t left, int32_t top);
    void Resize(int32_t width, int32_t height);

    // The frame that carries the window in the dashboard area (itself while it has none).
    QWidget* Frame() const;
    QMdiSubWindow* SubWindow() const;

    // The controls, for the main window and for tests that look at the window.
    PictureBox* picTemp() const { return picTemp_; }
    PictureBox* picPanel() const { return picPanel_; }
    PictureBox* picFrame() const { return picFrame_; }
    QScrollBar* VScroll1() const { return VScroll1_; }
    QScrollBar* HScroll1() const { return HScroll1_; }
    // Twips of picture per scroll step: 1 unless the picture is too large for 16-bit values.
    double ScrollUnitV() const { return scrollUnitV_; }
    double ScrollUnitH() const { return scrollUnitH_; }

    // The message the paste shows for a user's spreadsheet in this state; "" when it can be
    // pasted from. The five checks run from the most general (nothing attached) to the most
    // particular (no sheet), so the user hears about the first thing to put right.
    static QString UserExcelRefusal(bool attached, const UserExcel* XL);

    // Event handlers, public so that the window's owner and tests can drive them as events do.
    // Form_Activate runs when the dashboard area makes this window its active one.
    void Form_Activate();
    void Form_Resize();
    void picPanel_MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, double X,
                            double Y);
    void picFrame_MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, double X,
                            double Y);
    void picPanel_DblClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    clsWorkspacePanel* Record() const;
    // Where the panel's last picture is kept; empty for a panel not stored yet.
    QString CacheFile() const;
    frmWorkspace* MainWindow() const;
    [[nodiscard]] bool EditMode() const;

    [[nodiscard]] bool LoadOrReload(ExcelApp& XLInst, bool Refresh, bool Reload);
    [[nodiscard]] bool Panel_LoadExcel(const QString& OpenPath, const QString& SourcePath,
                                       bool Interactive, ExcelApp& XLInst);
    void AdjOrigRange(ExcelApp& XLInst, clsWorkspacePanel* Panel, const QString& SourcePath);
    [[nodiscard]] bool LoadOtherSource(const QString& Path);
    void BrowseExcelFile(QString& Path);
    // Paint the panel's range (relocated in this version) or chart from the open sheet, at
    // once or on another core when painting is deferred; false after a message when the saved
    // file does not hold what was copied, or the chart is missing.
    [[nodiscard]] bool PaintRange(ExcelApp& XLInst, xl::Workbook*& book, xl::Worksheet* sheet,
                                  bool Interactive, const QString& cache);
    [[nodiscard]] bool PaintChart(ExcelApp& XLInst, xl::Workbook*& book, xl::Worksheet* sheet,
                                  bool Interactive, const QString& cache);
    // The source's newest file, or the one the user picks when it is missing (then stored as
    // the source's file); "" after a message when there is none to load from.
    QString SourceFileToLoad(clsPanelSource* source);
    void LogCacheNotWritten(const QString& why) const;

    void GetUserExcel(UserExcelRef& XL);
    // The copied range or chart made the panel's content, painted from `openPath` (the saved
    // workbook, or its prepared copy for Paste Custom); false after a message when it can't be.
    [[nodiscard]] bool PasteCopiedRange(const UserExcel& XL, clsWorkspacePanel* record,
                                        const QString& openPath);
    [[nodiscard]] bool PasteCopiedChart(const UserExcel& XL, clsWorkspacePanel* record,
                                        const QString& openPath);
    [[nodiscard]] bool Panel_PasteExcel(ExcelApp& XLInst, PanelContent ContentType,
                                        const QString& What);
    // Hands the open workbook, as relocation left it, to another core to paint the range or
    // chart `What` from, a picture of `Size`, in the room taken for it, and the picture to the
    // cache file `Cache` (none when "").
    [[nodiscard]] bool QueuePainting(ExcelApp& XLInst, xl::Workbook*& Book,
                                     PanelContent ContentType, const QString& What,
                                     const QString& Cache, const QSize& Size,
                                     std::shared_ptr<PictureBudget::PaintingRoom> Room);
    // Whether this panel may show a picture of `size`: one a screen can show, and with the
    // other panels' within the dashboard's budget. Otherwise the user is told why, `what`
    // naming the range, chart or file, and False.
    [[nodiscard]] bool PictureAllowed(const QSize& size, const QString& what);
    // The same test, silent, for a picture already at hand (a cached one): False when it must
    // be made again, and so tested aloud.
    [[nodiscard]] bool PictureFits(const QSize& size) const;
    // Room among the pictures being painted, the window's events and the pictures painted
    // meanwhile shown while it waits for it.
    std::shared_ptr<PictureBudget::PaintingRoom> TakePaintingRoom(const QSize& size);
    // The pixels this window holds or is about to: the picture coming, else the one it shows,
    // with its zoomed copy.
    int64_t PlannedPixels() const;
    // What showing a picture of `size` holds: the picture, and its zoomed copy when zoomed.
    int64_t PixelsToShow(const QSize& size) const;
    [[nodiscard]] bool CopyChartPicture(ExcelApp& XLInst, const QString& ChartName);
    [[nodiscard]] bool ShowPictureMulti(ExcelApp& XLInst, int16_t Slot, const QString& What);
    // ChartName names the copied chart; empty when cells were copied.
    [[nodiscard]] bool MakeTemplates(clsWorkspacePanel* Panel, xl::Window* Window,
                                     xl::Workbook* Workbook, const QString& SheetName,
                                     const QString& ChartName);

    void ToggleSelected();
    void SetPanelMenus();
    void SetMultiMenus();
    [[nodiscard]] bool LaunchExcel();
    [[nodiscard]] bool LaunchCustomExcel();
    void ClearPanel();

    void ApplyDisplayMode(clsWorkspacePanel* Panel);
    void SetScrollBars();
    void VScroll1_Change();
    void HScroll1_Change();
    void SetViewChecks(PanelView ViewType);

    struct Painted {
        QImage image;
        QString note;   // a chart shown as a placeholder
        QString error;  // the painting failed
        QString cacheError;  // why the picture was not cached
        bool chart = false;
        std::shared_ptr<PictureBudget::PaintingRoom> room;  // held until the picture is shown
    };
    std::shared_future<Painted> pending_;
    int64_t pendingPixels_ = 0;
    QString pendingChart_;

    PictureBox* picTemp_ = nullptr;
    // The cached picture ShowCachedPicture put in picTemp_, and the file's time then: a load
    // that finds the file unchanged keeps that picture rather than reading it again.
    qint64 shownCacheKey_ = 0;
    QDateTime shownCacheTime_;
    bool waitsForWorkbook_ = false;
    PictureBox* picFrame_ = nullptr;
    PictureBox* picPanel_ = nullptr;
    PictureBox* picTempFrame_ = nullptr;
    std::vector<PictureBox*> picTempMulti_;
    QScrollBar* VScroll1_ = nullptr;
    QScrollBar* HScroll1_ = nullptr;
    QLabel* lblCaption_ = nullptr;
    double scrollUnitV_ = 1;
    double scrollUnitH_ = 1;
    int resizing_ = 0;
    // While a paste renders: the cells as copied, to tell unsaved edits from the saved file.
    bool pasteCheckCopied_ = false;
    QString pasteSelection_;
    QString pasteCopiedText_;
};
