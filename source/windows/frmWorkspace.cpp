#include "windows/frmWorkspace.h"

#include "windows/TitleCentring.h"

#include "model/Globals.h"
#include "services/App.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "ui/modUtilsControls.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsHelp.h"
#include "services/ProgramIcon.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsMisc.h"
#include "ui/PromptDialogs.h"
#include "windows/Colors.h"
#include "windows/DashboardList.h"
#include "services/DesktopLaunch.h"
#include "services/Twips.h"
#include "windows/frmAbout.h"
#include "windows/frmLogin.h"
#include "windows/frmOpenWorkspace.h"
#include "windows/frmOptions.h"
#include "windows/frmPanel.h"
#include "windows/frmSaveWorkspace.h"
#include "windows/frmTip.h"
#include "sharing/frmExport.h"
#include "sharing/frmImport.h"
#include "sharing/modPublish.h"
#include "ui/modUtilsPics.h"
#include "services/StatusText.h"
#include "platform/workbook/Waiting.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <exception>


namespace {

const QString kModule = QStringLiteral("frmWorkspace");
// The main window whose passes let events in and whose status bar shows what they do; the
// newest one when a project switch briefly has two.
frmWorkspace* gLiveWindow = nullptr;
// The product's web site; the address is the publisher's to settle.
const QString kWebSite = QStringLiteral("https://sheetbeacon.org/");


struct MenuItem {
    const char* control;
    const char* caption;
    bool shown;
};

}  // namespace

frmWorkspace::frmWorkspace(QWidget* parent) : QMainWindow(parent), mdiArea_(new QMdiArea(this)) {
    setObjectName(kModule);
    setAttribute(Qt::WA_DeleteOnClose);
    // The panels' title bars, the dialogs and the help window take it from the application.
    InstallProgramIcon();
    mdiArea_->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(mdiArea_);
    mdiArea_->viewport()->installEventFilter(this);
    // A panel window inside the dashboard area never gets a window activation of its own:
    // the area's activation is the one that tells it to bring the Panel menu in step.
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow* sub) {
        if (auto* panel = sub ? qobject_cast<frmPanel*>(sub->widget()) : nullptr)
            panel->Form_Activate();
    });
    resize(1024, 720);

    BuildMenus();
    BuildToolbar();
    auto* picWorkspace = new QLabel(this);
    picWorkspace->setObjectName(QStringLiteral("picWorkspace"));
    picWorkspace->hide();

    // Load.
    EditMode = false;
    mdiArea_->setBackground(ColorFromRGBValue(gDashboardColor));
    timerRefresh_ = new QTimer(this);
    timerRefresh_->setObjectName(QStringLiteral("timerRefresh"));
    timerRefresh_->setInterval(60000);
    connect(timerRefresh_, &QTimer::timeout, this, &frmWorkspace::timerRefresh_Timer);
    timerRefresh_->start();
    TickCount_ = 0;
    findChild<QAction*>(QStringLiteral("mnuHelpAbout"))
        ->setText(QStringLiteral("About ") + App::Title() + QStringLiteral("..."));
    gWorkspace = std::make_unique<clsWorkspace>();
    gSources = std::make_unique<clsSources>();
    FirstActivate_ = true;
    SetWorkspaceCaption(QString());
    SetDialogOwner(this);

    statusBar()->setObjectName(QStringLiteral("sbStatus"));
    gLiveWindow = this;
    // Waits of the engine inside a pass (LibreOffice, pictures painted on other cores) keep the
    // window painted and its menus working; outside a pass they just wait.
    xl::SetWaitHook([] {
        if (gLiveWindow && gLiveWindow->IsPassRunning()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (gLiveWindow)
                gLiveWindow->ShowPaintedPictures();
        }
    });
    SetStatusSink([](const QString& text, bool lasting) {
        if (gLiveWindow)
            gLiveWindow->statusBar()->showMessage(text, lasting || gLiveWindow->IsPassRunning() ? 0 : 5000);
    });
}

frmWorkspace::~frmWorkspace() {
    SetHourglass(false);
    if (gLiveWindow == this)
        gLiveWindow = nullptr;
}

frmWorkspace::Pass::Pass(frmWorkspace* window, const QString& status, Qt::CursorShape pointer)
    : window_(window) {
    window_->BeginPass(status, pointer);
}

frmWorkspace::Pass::~Pass() { window_->EndPass(); }

void frmWorkspace::BeginPass(const QString& status, Qt::CursorShape pointer) {
    if (PassDepth_++ == 0) {
        PassPointer_ = pointer;
        ApplyCommandStates();
        SetHourglass(true);
    }
    statusBar()->showMessage(status);
}

void frmWorkspace::EndPass() {
    if (--PassDepth_ > 0)
        return;
    statusBar()->clearMessage();
    SetHourglass(false);
    ApplyCommandStates();
    if (CloseAfterPass_) {
        CloseAfterPass_ = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

void frmWorkspace::ShowPaintedPictures() {
    for (QPointer<frmPanel>& panel : painting_) {
        if (panel && panel->PicturePainted() && panel->FinishPicture()) {
            panel->IsLoad = true;
            panel->Frame()->show();
            panel->IsLoad = false;
            panel = nullptr;
        }
    }
    std::erase_if(painting_, [](const QPointer<frmPanel>& p) { return !p || !p->PicturePending(); });
}

void frmWorkspace::ApplyCommandStates() {
    const bool free = PassDepth_ == 0;
    for (const char* control : {"mnuWorkspace", "mnuEdit", "mnuMultiPanel", "mnuTools"}) {
        if (QMenu* menu = findChild<QMenu*>(QLatin1String(control))) {
            menu->setEnabled(free);
            menu->menuAction()->setEnabled(free);
        }
    }
    mnuPanel_->menuAction()->setEnabled(free && PanelMenuWanted_);
    mnuPanel_->setEnabled(free && PanelMenuWanted_);
    if (QToolBar* toolbar = findChild<QToolBar*>(QStringLiteral("picToolbar")))
        toolbar->setEnabled(free);
}

void frmWorkspace::BuildMenus() {
    auto addMenu = [this](QMenu* parentMenu, const char* control, const QString& title) {
        QMenu* menu = parentMenu ? parentMenu->addMenu(title) : menuBar()->addMenu(title);
        menu->setObjectName(QLatin1String(control));
        menu->menuAction()->setObjectName(QLatin1String(control));
        return menu;
    };
    auto addItems = [](QMenu* menu, std::initializer_list<MenuItem> items) {
        for (const MenuItem& item : items) {
            // A "-" caption makes a separator; a separator given that text would show it
            // beside its line.
            QAction* action = qstrcmp(item.caption, "-") == 0
                                  ? menu->addSeparator()
                                  : menu->addAction(QString::fromUtf8(item.caption));
            action->setObjectName(QLatin1String(item.control));
            action->setVisible(item.shown);
        }
    };

    mnuWorkspace_ = addMenu(nullptr, "mnuWorkspace", QStringLiteral("&Dashboard"));
    addItems(mnuWorkspace_, {{"mnuWorkspaceNew", "New", true},
                             {"mnuWorkspaceOpen", "Open...", true},
                             {"mnuWorkspaceSpace1", "-", true},
                             {"mnuWorkspaceRename", "Rename", true},
                             {"mnuWorkspaceSave", "Save", true},
                             {"mnuWorkspaceSaveAs", "Save As...", true},
                             {"mnuWorkspacePublish", "Publish...", true},
                             {"mnuWorkspaceSpace2", "-", true},
                             {"mnuWorkspaceRefresh", "Refresh", true},
                             {"mnuWorkspaceDelete", "Delete", true},
                             {"mnuWorkspaceSpace3", "-", true},
                             {"mnuWorkspacePaste", "Paste", true},
                             {"mnuWorkspacePasteCustom", "Paste Custom", false},
                             {"mnuWorkspaceLayout", "Layout Mode", true},
                             {"mnuWorkspaceSpace4", "-", true},
                             {"mnuWorkspaceSwitchRepository", "Switch Project...", false},
                             {"mnuWorkspaceExit", "Exit", true}});

    QMenu* mnuEdit = addMenu(nullptr, "mnuEdit", QStringLiteral("&Edit"));
    mnuEdit->menuAction()->setVisible(false);
    addItems(mnuEdit, {{"mnuEditHorizontal", "Tile Horizontally", true},
                       {"mnuEditVertical", "Tile Vertically", true},
                       {"mnuEditCascade", "Cascade", true},
                       {"mnuEditIcons", "Arrange Icons", true}});

    mnuPanel_ = addMenu(nullptr, "mnuPanel", QStringLiteral("&Panel"));
    addItems(mnuPanel_, {{"mnuPanelPicture", "Load Picture", false},
                         {"mnuPanelPaste", "Paste", true},
                         {"mnuPanelPasteCustom", "Paste Custom", false},
                         {"mnuPanelSpacer1", "-", true},
                         {"mnuPanelExcel", "Open Excel File", true},
                         {"mnuPanelCustomExcel", "View Personalized File", false},
                         {"mnuPanelDrillback", "View Data Source", false},
                         {"mnuPanelDrillbackProperties", "Define Data Source...", false},
                         {"mnuPanelSpace1", "-", true},
                         {"mnuPanelCaption", "&Caption...", true},
                         {"mnuPanelRange", "Range Location...", true},
                         {"mnuPanelProperties", "File Updates...", true},
                         {"mnuPanelRawFile", "Raw File...", false},
                         {"mnuPanelSpace2", "-", true},
                         {"mnuPanelRefresh", "Refresh", true},
                         {"mnuPanelDelete", "Delete", true},
                         {"mnuPanelSpace3", "-", true},
                         {"mnuPanelLayout", "Layout Mode", true},
                         {"mnuPanelAutosize", "Autosize", true},
                         {"mnuPanelZoomToFit", "Zoom to Fit", true},
                         {"mnuPanelCrop", "Crop", true},
                         {"mnuPanelSpace4", "-", true},
                         {"mnuPanelCopy", "Copy...", true},
                         {"mnuPanelMove", "Move...", true}});

    // Layout mode shows this menu in place of the Panel menu, under the same caption.
    QMenu* mnuMultiPanel = addMenu(nullptr, "mnuMultiPanel", QStringLiteral("&Panel"));
    mnuMultiPanel->menuAction()->setVisible(false);
    addItems(mnuMultiPanel, {{"mnuMultiLayout", "Layout Mode", true}});
    QMenu* mnuMultiAlign = addMenu(mnuMultiPanel, "mnuMultiAlign", QStringLiteral("Align"));
    addItems(mnuMultiAlign, {{"mnuAlignLeft", "Lefts", true},
                             {"mnuAlignRight", "Rights", true},
                             {"mnuMultiAlignSpace", "-", true},
                             {"mnuAlignTop", "Tops", true},
                             {"mnuAlignBottom", "Bottoms", true}});
    QMenu* mnuSameSize = addMenu(mnuMultiPanel, "mnuSameSize", QStringLiteral("Make Same Size"));
    addItems(mnuSameSize, {{"mnuSameWidth", "Width", true},
                           {"mnuSameHeight", "Height", true},
                           {"mnuSameBoth", "Both", true}});

    QMenu* mnuTools = addMenu(nullptr, "mnuTools", QStringLiteral("&Tools"));
    addItems(mnuTools, {{"mnuToolsOptions", "Options", true},
                        {"mnuToolsImport", "Import Dashboards...", true},
                        {"mnuToolsExport", "Export Dashboards...", true}});

    QMenu* mnuHelp = addMenu(nullptr, "mnuHelp", QStringLiteral("&Help"));
    addItems(mnuHelp, {{"mnuHelpContents", "Contents...", true},
                       {"mnuHelpLearningGuide", "Learning Guide...", true},
                       {"mnuHelpWeb", "Visit Web Site...", true},
                       {"mnuHelpSpace", "-", true},
                       {"mnuHelpAbout", "About...", true}});

    auto on = [this](const char* control, auto handler) {
        QAction* action = findChild<QAction*>(QLatin1String(control));
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };
    on("mnuWorkspaceNew", &frmWorkspace::mnuWorkspaceNew_Click);
    on("mnuWorkspaceOpen", &frmWorkspace::mnuWorkspaceOpen_Click);
    on("mnuWorkspaceRename", &frmWorkspace::mnuWorkspaceRename_Click);
    on("mnuWorkspaceSave", &frmWorkspace::mnuWorkspaceSave_Click);
    on("mnuWorkspaceSaveAs", &frmWorkspace::mnuWorkspaceSaveAs_Click);
    on("mnuWorkspaceRefresh", &frmWorkspace::mnuWorkspaceRefresh_Click);
    mnuWorkspaceDelete_ = on("mnuWorkspaceDelete", &frmWorkspace::mnuWorkspaceDelete_Click);
    on("mnuWorkspaceExit", &frmWorkspace::mnuWorkspaceExit_Click);
    for (const char* control : {"mnuWorkspaceLayout", "mnuPanelLayout", "mnuMultiLayout"})
        on(control, &frmWorkspace::mnuWorkspaceLayout_Click);
    on("mnuHelpContents", &frmWorkspace::mnuHelpContents_Click);
    on("mnuHelpLearningGuide", &frmWorkspace::mnuHelpLearningGuide_Click);
    on("mnuHelpWeb", &frmWorkspace::mnuHelpWeb_Click);
    on("mnuHelpAbout", &frmWorkspace::mnuHelpAbout_Click);
    on("mnuWorkspacePublish", &frmWorkspace::mnuWorkspacePublish_Click);
    on("mnuToolsImport", &frmWorkspace::mnuToolsImport_Click);
    on("mnuToolsExport", &frmWorkspace::mnuToolsExport_Click);
    on("mnuToolsOptions", &frmWorkspace::mnuToolsOptions_Click);
    on("mnuWorkspaceSwitchRepository", &frmWorkspace::mnuWorkspaceSwitchRepository_Click);
    // The panel dialogs are opened for an existing panel.
    connect(findChild<QAction*>(QStringLiteral("mnuPanelCaption")), &QAction::triggered, this,
            [this] { ForwardToActivePanel([](frmPanel* p) { p->Panel_Caption(false); }); });
    connect(findChild<QAction*>(QStringLiteral("mnuPanelRange")), &QAction::triggered, this,
            [this] { ForwardToActivePanel([](frmPanel* p) { p->Panel_Range(false); }); });
    connect(findChild<QAction*>(QStringLiteral("mnuPanelProperties")), &QAction::triggered, this,
            [this] { ForwardToActivePanel([](frmPanel* p) { p->Panel_Properties(false); }); });
    connect(findChild<QAction*>(QStringLiteral("mnuPanelDrillbackProperties")),
            &QAction::triggered, this,
            [this] { ForwardToActivePanel([](frmPanel* p) { p->Panel_DrillbackProperties(); }); });

    // Layout mode carries a check mark while it is on.
    for (const char* control : {"mnuWorkspaceLayout", "mnuPanelLayout", "mnuMultiLayout"})
        findChild<QAction*>(QLatin1String(control))->setCheckable(true);
    for (const char* control : {"mnuPanelAutosize", "mnuPanelZoomToFit", "mnuPanelCrop"})
        findChild<QAction*>(QLatin1String(control))->setCheckable(true);

    WirePanelCommands();
}

void frmWorkspace::BuildToolbar() {
    auto* picToolbar = new QToolBar(this);
    picToolbar->setObjectName(QStringLiteral("picToolbar"));
    picToolbar->setMovable(false);
    addToolBar(Qt::TopToolBarArea, picToolbar);

    auto addButton = [&](const char* control, const QString& tip, QStyle::StandardPixmap icon,
                         const char* menuItem) {
        auto* button = new QToolButton(picToolbar);
        button->setObjectName(QLatin1String(control));
        button->setToolTip(tip);
        button->setIcon(style()->standardIcon(icon));
        picToolbar->addWidget(button);
        if (menuItem) {
            // The button runs what its menu item runs, and can't be used when the item can't.
            QAction* action = findChild<QAction*>(QLatin1String(menuItem));
            connect(button, &QToolButton::clicked, action, &QAction::trigger);
            button->setEnabled(action->isEnabled());
        }
        return button;
    };
    addButton("cmdWorkspaceNew", QStringLiteral("New Dashboard"), QStyle::SP_FileIcon,
              "mnuWorkspaceNew");
    addButton("cmdWorkspaceSave", QStringLiteral("Save Dashboard"), QStyle::SP_DialogSaveButton,
              "mnuWorkspaceSave");
    addButton("cmdWorkspaceRefresh", QStringLiteral("Refresh Dashboard"), QStyle::SP_BrowserReload,
              "mnuWorkspaceRefresh");
    addButton("cmdWorkspacePublish", QStringLiteral("Publish to Excel"),
              QStyle::SP_FileDialogDetailedView, "mnuWorkspacePublish");
    QToolButton* help =
        addButton("cmdHelp", QStringLiteral("Help"), QStyle::SP_DialogHelpButton, nullptr);
    connect(help, &QToolButton::clicked, this, &frmWorkspace::cmdHelp_Click);

    picToolbar->addSeparator();
    cmbWorkspaces_ = new QComboBox(picToolbar);
    cmbWorkspaces_->setObjectName(QStringLiteral("cmbWorkspaces"));
    cmbWorkspaces_->setToolTip(QStringLiteral("Open Workspace"));
    cmbWorkspaces_->setMinimumContentsLength(30);
    cmbWorkspaces_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    picToolbar->addWidget(cmbWorkspaces_);
    // Code that selects an entry opens it just as the user's choice does.
    connect(cmbWorkspaces_, &QComboBox::currentIndexChanged, this,
            [this](int) { cmbWorkspaces_Click(); });
}

// --- Events -------------------------------------------------------------------------------

bool frmWorkspace::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QMainWindow::event(event);
}

void frmWorkspace::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Not every platform activates a window that is shown; the session starts either way.
    if (FirstActivate_)
        QMetaObject::invokeMethod(this, &frmWorkspace::Form_Activate, Qt::QueuedConnection);
}

void frmWorkspace::Form_Activate() {
    if (!FirstActivate_ || Activating_)
        return;
    Activating_ = true;
    if (!gSources || !gSources->LoadAll(gDB.get())) {
        MsgBox(App::Title() +
                   QStringLiteral(" was unable to use its database. Please contact your "
                                  "administrator to correct the problem."),
               vbInformation);
        FirstActivate_ = false;
        Activating_ = false;
        close();
        return;
    }
    ClearDirty();
    cmbWorkspaces_Load();
    if (cmbWorkspaces_->count() == 0)
        mnuWorkspaceNew_Click();
    else
        cmbWorkspaces_->setCurrentIndex(0);
    if (gWorkspace && gWorkspace->ID < 1 && FirstActivate_) {
        const BusyState busy(this);
        AskCustom(QStringLiteral("frmTip"), [this] {
            frmTip tip(this);
            tip.exec();
            return QVariant();
        });
    }
    FirstActivate_ = false;
    Activating_ = false;
}

void frmWorkspace::closeEvent(QCloseEvent* event) {
    if (IsPassRunning()) {
        // Closing in the middle of a pass would pull its windows from under it: the close
        // comes when the pass is done.
        CloseAfterPass_ = true;
        statusBar()->showMessage(QStringLiteral("Closing once this is done..."));
        event->ignore();
        return;
    }
    if (!QuerySaveChanges(false)) {
        event->ignore();
        return;
    }
    timerRefresh_->stop();
    // The help window goes with the program: left open, it would keep the process running.
    CloseHelp();
    event->accept();
    QMainWindow::closeEvent(event);
}

bool frmWorkspace::eventFilter(QObject* watched, QEvent* event) {
    // A panel window closed by its frame while a pass works on it would vanish under the pass.
    if (event->type() == QEvent::Close && IsPassRunning() && qobject_cast<QMdiSubWindow*>(watched)) {
        event->ignore();
        return true;
    }
    if (watched == mdiArea_->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            // A panel pasted next lands where the user asked for the menu.
            PasteX_ = PixelsToTwipsX(mouse->position().x());
            PasteY_ = PixelsToTwipsY(mouse->position().y());
            mnuWorkspace_->popup(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- The panel windows -----------------------------------------------------------------

std::vector<frmPanel*> frmWorkspace::PanelWindows() const {
    std::vector<frmPanel*> open;
    for (const auto& panel : panels_)
        if (panel)
            open.push_back(panel);
    return open;
}

void frmWorkspace::UnloadPanel(frmPanel* panel) {
    if (!panel)
        return;
    std::erase_if(panels_, [panel](const QPointer<frmPanel>& p) { return !p || p == panel; });
    if (BasePanel_ == panel)
        BasePanel_ = nullptr;
    delete panel->Frame();
}

void frmWorkspace::UnloadPanels() {
    const std::vector<frmPanel*> open = PanelWindows();
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        UnloadPanel(*it);
}

bool frmWorkspace::IsAnyPanelDirty() {
    const std::vector<frmPanel*> open = PanelWindows();
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        if ((*it)->IsDirty)
            return true;
    return false;
}

void frmWorkspace::ClearDirty() {
    Dirty_ = false;
    for (frmPanel* panel : PanelWindows())
        panel->IsDirty = false;
}

void frmWorkspace::SavePanelPositions() {
    if (!gWorkspace)
        return;
    for (frmPanel* panel : PanelWindows()) {
        clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
        if (!record)
            continue;
        record->pLeft = panel->Left();
        record->pTop = panel->Top();
        record->pHeight = panel->Height();
        record->pWidth = panel->Width();
    }
}

void frmWorkspace::SetPanelMenuEnabled(bool enabled) {
    PanelMenuWanted_ = enabled;
    ApplyCommandStates();
}

void frmWorkspace::SetHourglass(bool on) {
    if (on == Hourglass_.has_value())
        return;
    // Within a pass, the pointer the pass shows.
    if (on)
        Hourglass_.emplace(IsPassRunning() ? PassPointer_ : Qt::WaitCursor);
    else
        Hourglass_.reset();
}

QMdiSubWindow* frmWorkspace::AddPanelFrame(frmPanel* panel) {
    QMdiSubWindow* frame = mdiArea_->addSubWindow(panel);
    // Titles at the left of the title bar unless their blanks centre them.
    frame->setStyle(PanelFrameStyleInstance());
    return frame;
}

frmPanel* frmWorkspace::NewPanelWindow(int16_t Index) {
    const clsWorkspacePanel* record = gWorkspace->Panels(Index);
    auto* panel = new frmPanel;
    QMdiSubWindow* frame = AddPanelFrame(panel);
    frame->installEventFilter(this);
    panels_.push_back(panel);
    panel->Index = Index;
    if (record)
        panel->Move(record->pLeft, record->pTop);
    return panel;
}

bool frmWorkspace::LoadPanel(ExcelApp& XLInst, frmPanel* Window, bool Refresh) {
    SetHourglass(true);
    const bool loaded = Window->Panel_Load(XLInst, Refresh);
    // A panel whose workbook is still arriving is not offered for deletion: it is shown again
    // once the whole file is there.
    if (!loaded && Window->WaitsForWorkbook())
        UnloadPanel(Window);
    else if (!loaded)
        OfferPanelDeletion(Window);
    else if (!Window->PicturePending())
        ShowPanelWindow(Window);
    SetHourglass(IsPassRunning());
    return loaded;
}

void frmWorkspace::ShowPanelWindow(frmPanel* Window) {
    Window->IsLoad = true;
    Window->Frame()->show();
    if (QMdiSubWindow* frame = Window->SubWindow())
        mdiArea_->setActiveSubWindow(frame);
    Window->IsLoad = false;
}

void frmWorkspace::OfferPanelDeletion(frmPanel* Window) {
    SetHourglass(false);
    const clsWorkspacePanel* record = gWorkspace->Panels(Window->Index);
    const QString caption = record ? record->Caption : QString();
    QPointer<frmPanel> guard(Window);
    if (ConfirmAction(QStringLiteral("Unable to load panel with caption '") + caption +
                      QStringLiteral("'\nDelete this panel from dashboard?")))
        DeletePanel(Window, true);
    if (guard)
        UnloadPanel(guard);
    SetHourglass(IsPassRunning());
}

namespace {

// A pass runs unattended: when a panel's workbook is gone, the panel keeps the picture it
// shows and the log keeps the reason, for whoever wonders later why it stopped following.
void NoteMissingWorkbook(const frmPanel* panel) {
    const clsWorkspacePanel* record = gWorkspace ? gWorkspace->Panels(panel->Index) : nullptr;
    const clsPanelSource* source = record ? record->Source() : nullptr;
    if (!source)
        return;
    const QString path = source->WorkbookPath();
    if (!path.isEmpty() && !FileExists(path))
        LogEvent(kModule, QStringLiteral("RefreshAllPanels"),
                 QStringLiteral("Panel '") + record->Caption +
                     QStringLiteral("' was not refreshed: its workbook ") + path +
                     QStringLiteral(" was not found."),
                 false);
}

// The workbook a panel's picture is rendered from, when it is one; "" otherwise.
QString PanelWorkbook(const clsWorkspacePanel* record) {
    const clsPanelSource* source = record ? record->Source() : nullptr;
    if (!source || !ShowsWorkbook(record->ContentType))
        return QString();
    if (record->IsCustom == PanelPaste::Custom)
        return source->Prepped();
    return source->WorkbookInUse();
}

}  // namespace

void frmWorkspace::LoadPanelWindows(ExcelApp& XLInst, bool Refresh) {
    const int16_t count = gWorkspace->NumPanels();
    std::vector<QPointer<frmPanel>> windows;
    for (int16_t Index = count; Index >= 1; --Index) {
        const clsWorkspacePanel* record = gWorkspace->Panels(Index);
        if (record && record->ID >= 1)
            windows.emplace_back(NewPanelWindow(Index));
    }
    LoadPanels(XLInst, windows, Refresh ? PanelLoad::Refresh : PanelLoad::Open);
    // The stacking a load one window after the other leaves: the first record's on top, active.
    frmPanel* first = nullptr;
    for (const QPointer<frmPanel>& panel : windows) {
        if (panel && !panel->Frame()->isHidden()) {
            panel->Frame()->raise();
            first = panel;
        }
    }
    if (first && first->SubWindow())
        mdiArea_->setActiveSubWindow(first->SubWindow());
}

void frmWorkspace::LoadPanels(ExcelApp& XLInst, const std::vector<QPointer<frmPanel>>& windows,
                              PanelLoad how) {
    const bool fresh = how == PanelLoad::Open || how == PanelLoad::Refresh;
    const bool refresh = how == PanelLoad::Refresh || how == PanelLoad::PanelRefresh;
    // Every hidden instance of the pass reads from one store: the newer version the update
    // pass reads to locate ranges again is the one the pictures are painted from.
    const xl::SharedReads shared;
    // What the dashboard showed last time, while its sources are fetched or recalculated; the
    // workbooks of the pictures sure to be painted are read on the other cores meanwhile.
    QList<QPair<QString, QString>> workbooks;
    for (const QPointer<frmPanel>& panel : windows) {
        const clsWorkspacePanel* record = panel ? gWorkspace->Panels(panel->Index) : nullptr;
        if (!record)
            continue;
        if (how == PanelLoad::Open && panel->ShowCachedPicture()) {
            panel->Frame()->show();
            xl::WhileWaiting();
            continue;
        }
        if (how == PanelLoad::Timer && record->ID >= 1 && FileExists(PanelPicturePath(record->ID)))
            continue;  // painted only when the update pass finds a newer version
        const QString workbook = PanelWorkbook(record);
        if (!workbook.isEmpty())
            workbooks.append({workbook, record->SheetName});
    }
    XLInst->Prefetch(workbooks);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    painting_.clear();
    for (const QPointer<frmPanel>& panel : windows) {
        if (!panel)
            continue;
        panel->DeferPainting = true;
        bool loaded = false;
        if (fresh) {
            loaded = LoadPanel(XLInst, panel, refresh);
        } else if (how == PanelLoad::PanelRefresh) {
            loaded = panel->Panel_Load(XLInst, true);  // one that fails keeps what it shows
        } else {
            // A panel that can't be reloaded (reported) keeps its picture; the pass goes on.
            loaded = panel->Panel_Reload(XLInst);
            if (panel)
                NoteMissingWorkbook(panel);
        }
        if (panel) {
            panel->DeferPainting = false;
            if (loaded && panel->PicturePending())
                painting_.push_back(panel);
        }
        // Between two panels the window's events come in, and the pictures done show.
        xl::WhileWaiting();
    }
    // The rest in the order of record, as each is done; a deletion meanwhile has renumbered
    // the later ones.
    std::vector<QPointer<frmPanel>> rest = std::move(painting_);
    painting_.clear();
    std::sort(rest.begin(), rest.end(), [](const QPointer<frmPanel>& a, const QPointer<frmPanel>& b) {
        return (a ? a->Index : 0) < (b ? b->Index : 0);
    });
    int done = 0;
    for (const QPointer<frmPanel>& panel : rest) {
        if (fresh)
            statusBar()->showMessage(QStringLiteral("Painting panels: %1 of %2").arg(++done).arg(rest.size()));
        if (!panel || !panel->PicturePending())
            continue;
        if (panel->FinishPicture()) {
            if (panel->Frame()->isHidden())
                ShowPanelWindow(panel);
        } else if (panel && fresh) {
            OfferPanelDeletion(panel);
        }
        // Otherwise the failure is reported and the picture shown before stays.
        xl::WhileWaiting();
    }
}

void frmWorkspace::mnuWorkspacePaste_Click() { PasteNewPanel(); }

void frmWorkspace::mnuPanelPaste_Click() {
    if (mdiArea_->activeSubWindow())
        PasteNewPanel();
}

void frmWorkspace::PasteNewPanel() {
    const BusyState busy(this);
    auto* panel = new frmPanel;
    QMdiSubWindow* frame = AddPanelFrame(panel);
    frame->hide();
    panels_.push_back(panel);
    const int16_t Index = gWorkspace->AddPanel();
    if (Index < 1) {
        UnloadPanel(panel);
        return;
    }
    panel->Index = Index;
    clsWorkspacePanel* record = gWorkspace->Panels(Index);
    record->pLeft = panel->Left();
    record->pTop = panel->Top();
    record->IsCustom = PanelPaste::Plain;
    if (panel->Panel_Paste()) {
        panel->Move(static_cast<int32_t>(std::nearbyint(PasteX_)),
                    static_cast<int32_t>(std::nearbyint(PasteY_)));
        frame->show();
        mdiArea_->setActiveSubWindow(frame);
        SetPanelMenuEnabled(true);
    } else {
        gWorkspace->DelPanel(panel->Index, false);
        UnloadPanel(panel);
        if (gWorkspace->NumPanels() < 1)
            SetPanelMenuEnabled(false);
    }
}

void frmWorkspace::DeletePanel(frmPanel* Window, bool FromDB) {
    const int16_t Removed = Window->Index;
    gWorkspace->DelPanel(Removed, FromDB);
    if (gWorkspace->NumPanels() < 1)
        SetPanelMenuEnabled(false);
    UnloadPanel(Window);
    for (frmPanel* panel : PanelWindows())
        if (panel->Index >= Removed)
            panel->Index = static_cast<int16_t>(panel->Index - 1);
}

// --- The dashboard list and title -------------------------------------------------------

void frmWorkspace::SetWorkspaceCaption(const QString& Name) {
    if (Name.trimmed().isEmpty())
        setWindowTitle(App::Title());
    else
        setWindowTitle(App::Title() + QStringLiteral(" - ") + Name);
}

void frmWorkspace::cmbWorkspaces_Load() {
    FillDashboardList(cmbWorkspaces_, kModule, QStringLiteral("cmbWorkspaces_Load"));
}

int32_t frmWorkspace::SelectedWorkspaceID() const {
    const int index = cmbWorkspaces_->currentIndex();
    return index < 0 ? -1 : Combo_ItemData(cmbWorkspaces_, index);
}

void frmWorkspace::cmbWorkspaces_Click() {
    const BusyState busy(this);
    if (cmbWorkspaces_->currentIndex() < 0 || !gWorkspace)
        return;
    if (SelectedWorkspaceID() == gWorkspace->ID)
        return;
    if (!QuerySaveChanges(true)) {
        Combo_SelectByData(cmbWorkspaces_, gWorkspace->ID);
        return;
    }
    // Saving or discarding re-selects the chosen entry, which opens it in a nested pass of
    // this handler; it is then not opened a second time.
    const int32_t chosen = SelectedWorkspaceID();
    if (chosen >= 0 && chosen != gWorkspace->ID) {
        if (Workspace_LoadPanels(chosen))
            ClearDirty();
    }
    SetWorkspaceCaption(gWorkspace->Name);
    if (EditMode)
        mnuWorkspaceLayout_Click();
}

// --- Opening and saving ---------------------------------------------------------------

bool frmWorkspace::QuerySaveChanges(bool Reselect) {
    if (!gWorkspace || (!Dirty_ && !IsAnyPanelDirty()))
        return true;
    if (gWorkspace->Name.isEmpty())
        gWorkspace->Name = QStringLiteral("Untitled");
    const int answer =
        MsgBox(QStringLiteral("Save changes to ") + gWorkspace->Name + QStringLiteral("?"),
               vbYesNoCancel | vbQuestion);
    if (answer == vbCancel)
        return false;
    if (answer == vbYes) {
        const int32_t remembered = Reselect ? SelectedWorkspaceID() : -1;
        // A save that failed or whose name dialog was cancelled stops the caller: going on
        // would drop the changes the user just asked to keep.
        const bool saved = mnuWorkspaceSave_Click();
        // After a failed save the caller puts the current entry back; choosing the other
        // entry again would only ask the same question once more.
        if (Reselect && saved)
            Combo_SelectByData(cmbWorkspaces_, remembered);
        return saved;
    }
    ClearDirty();
    const int32_t remembered = SelectedWorkspaceID();
    cmbWorkspaces_Load();
    Combo_SelectByData(cmbWorkspaces_, remembered);
    return true;
}

void frmWorkspace::KeepUnsavedInList() {
    // Declining to save a dashboard never stored drops its entry from the rebuilt list; a
    // command that goes on with that dashboard puts it back, or the list would show none.
    if (!gWorkspace || gWorkspace->ID >= 1)
        return;
    Combo_SelectByData(cmbWorkspaces_, gWorkspace->ID);
    if (cmbWorkspaces_->currentIndex() >= 0)
        return;
    Combo_AddItem(cmbWorkspaces_, gWorkspace->Name, gWorkspace->ID);
    cmbWorkspaces_->setCurrentIndex(cmbWorkspaces_->count() - 1);
}

bool frmWorkspace::Workspace_LoadPanels(int32_t ID) {
    const BusyState busy(this);
    SetHourglass(true);
    try {
        UnloadPanels();
        gWorkspace = std::make_unique<clsWorkspace>();
        // A dashboard that loads only in part still opens with what it has.
        (void)gWorkspace->LoadFromDB(ID, gDB.get());
        SetPanelMenuEnabled(gWorkspace->NumPanels() >= 1);
        if (gSources)
            gSources->ClearFlags();
        HiddenInstance XLInst;
        if (!XLInst.Start()) {
            SetHourglass(false);
            return false;
        }
        {
            const Pass pass(this, QStringLiteral("Opening %1...").arg(gWorkspace->Name));
            LoadPanelWindows(XLInst.XL, false);
        }
        XLInst.Close();
        SetWorkspaceCaption(gWorkspace->Name);
        SetHourglass(false);
        return true;
    } catch (const std::exception& e) {
        SetHourglass(false);
        LogError(kModule, QStringLiteral("Workspace_LoadPanels"), ErrNum::kGeneral,
                 QString::fromUtf8(e.what()), true);
        return false;
    }
}

void frmWorkspace::mnuWorkspaceNew_Click() {
    if (!QuerySaveChanges(false))
        return;
    const BusyState busy(this);
    UnloadPanels();
    gWorkspace = std::make_unique<clsWorkspace>();
    gWorkspace->Name = QStringLiteral("Untitled");
    SetWorkspaceCaption(gWorkspace->Name);
    Combo_AddItem(cmbWorkspaces_, gWorkspace->Name, 0);
    cmbWorkspaces_->setCurrentIndex(cmbWorkspaces_->count() - 1);
    SetPanelMenuEnabled(false);
    Dirty_ = true;
}

void frmWorkspace::mnuWorkspaceOpen_Click() {
    if (!QuerySaveChanges(false))
        return;
    const BusyState busy(this);
    const QVariant answer = AskCustom(QStringLiteral("frmOpenWorkspace"), [this] {
        frmOpenWorkspace dialog(this);
        dialog.Operation = QString();
        dialog.Show();
        return QVariant(dialog.WorkspaceID);
    });
    const int32_t WorkspaceID = answer.isValid() ? answer.toInt() : -1;
    if (WorkspaceID > 0)
        Combo_SelectByData(cmbWorkspaces_, WorkspaceID);
}

void frmWorkspace::mnuWorkspaceRefresh_Click() {
    if (!QuerySaveChanges(false))
        return;
    KeepUnsavedInList();
    const BusyState busy(this);
    SetHourglass(true);
    UnloadPanels();
    if (gSources)
        gSources->ClearFlags();
    HiddenInstance XLInst;
    if (!XLInst.Start()) {
        SetHourglass(false);
        return;
    }
    // The records in memory: panels pasted since the last save have no row to render from.
    {
        const Pass pass(this, QStringLiteral("Refreshing %1...").arg(gWorkspace->Name));
        LoadPanelWindows(XLInst.XL, true);
    }
    XLInst.Close();
    ClearDirty();
    SetHourglass(false);
}

bool frmWorkspace::mnuWorkspaceSave_Click() {
    SavePanelPositions();
    if (gWorkspace->ID > 0)
        return SaveWorkspace();
    return mnuWorkspaceSaveAs_Click();
}

bool frmWorkspace::SaveWorkspace() {
    const BusyState busy(this);
    const bool saved = gWorkspace->SaveToDB(gDB.get());
    if (saved) {
        ClearDirty();
        // Deleting the last dashboard disabled Delete; a stored dashboard can be deleted again.
        mnuWorkspaceDelete_->setEnabled(true);
        cmbWorkspaces_Load();
        Combo_SelectByData(cmbWorkspaces_, gWorkspace->ID);
        SetWorkspaceCaption(gWorkspace->Name);
        return true;
    }
    // The rows were deleted by another copy of the program: what is on screen is the only
    // copy left, and storing it anew is the one way to keep it.
    if (gWorkspace->RowsGone() != clsWorkspace::GoneRows::None && OfferToSaveAsNew())
        return mnuWorkspaceSaveAs_Click();
    return false;
}

bool frmWorkspace::OfferToSaveAsNew() {
    const bool dashboardGone = gWorkspace->RowsGone() == clsWorkspace::GoneRows::Dashboard;
    const QString what =
        dashboardGone ? QStringLiteral("The dashboard '") + gWorkspace->Name +
                            QStringLiteral("' is no longer in the repository: another copy of ") +
                            App::Title() + QStringLiteral(" may have deleted it.")
                      : QStringLiteral("Some panels of the dashboard '") + gWorkspace->Name +
                            QStringLiteral("' are no longer in the repository: another copy of ") +
                            App::Title() + QStringLiteral(" may have deleted them.");
    return MsgBox(what + QStringLiteral(" Nothing was saved.\r\n\r\nSave the dashboard as a new "
                                        "one, so that it is kept?"),
                  vbYesNo | vbExclamation) == vbYes;
}

QString frmWorkspace::AskWorkspaceName(const QString& Mode) {
    const QVariant answer = AskCustom(QStringLiteral("frmSaveWorkspace"), [this, Mode] {
        frmSaveWorkspace dialog(this);
        dialog.Mode = Mode;
        dialog.Show();
        return QVariant(dialog.WorkspaceName);
    });
    return answer.isValid() ? answer.toString() : QString();
}

void frmWorkspace::mnuWorkspaceRename_Click() {
    const BusyState busy(this);
    // The moved and resized windows are part of what is stored with the new name.
    SavePanelPositions();
    const QString WorkspaceName = AskWorkspaceName(QStringLiteral("Rename"));
    if (!WorkspaceName.isEmpty()) {
        const QString previous = gWorkspace->Name;
        gWorkspace->Name = WorkspaceName;
        // A rename that could not be stored did not happen.
        if (!SaveWorkspace())
            gWorkspace->Name = previous;
    }
}

bool frmWorkspace::mnuWorkspaceSaveAs_Click() {
    const BusyState busy(this);
    SavePanelPositions();
    bool saved = false;
    const QString WorkspaceName = AskWorkspaceName(QStringLiteral("SaveAs"));
    if (!WorkspaceName.isEmpty()) {
        const QString previousName = gWorkspace->Name;
        const int32_t previousID = gWorkspace->ID;
        std::vector<int32_t> previousPanelIDs;
        for (int16_t i = 1; i <= gWorkspace->NumPanels(); ++i) {
            clsWorkspacePanel* record = gWorkspace->Panels(i);
            previousPanelIDs.push_back(record ? record->ID : 0);
            if (record)
                record->ID = 0;
        }
        gWorkspace->Name = WorkspaceName;
        gWorkspace->ID = 0;
        saved = SaveWorkspace();
        if (!saved) {
            // The open dashboard stays tied to its stored rows when the copy could not be made.
            gWorkspace->Name = previousName;
            gWorkspace->ID = previousID;
            for (int16_t i = 1; i <= gWorkspace->NumPanels(); ++i)
                if (clsWorkspacePanel* record = gWorkspace->Panels(i))
                    record->ID = previousPanelIDs[static_cast<size_t>(i - 1)];
        }
    }
    return saved;
}

void frmWorkspace::mnuWorkspaceDelete_Click() {
    if (!ConfirmAction(QStringLiteral("Are you sure you want to delete '") + gWorkspace->Name +
                       QStringLiteral("'?")))
        return;
    try {
        // A dashboard whose rows are still there stays in the list and open, changes and all.
        if (!gWorkspace->Delete(gDB.get())) {
            MsgBox(QStringLiteral("Unable to delete '") + gWorkspace->Name + QStringLiteral("'."),
                   vbExclamation);
            return;
        }
        ClearDirty();
        {
            // Removing an entry must not open its neighbour: what opens next is chosen below.
            const QSignalBlocker blocker(cmbWorkspaces_);
            const int index = cmbWorkspaces_->currentIndex();
            if (index >= 0)
                cmbWorkspaces_->removeItem(index);
            cmbWorkspaces_->setCurrentIndex(-1);
        }
        if (cmbWorkspaces_->count() > 0) {
            mnuWorkspaceDelete_->setEnabled(true);
            cmbWorkspaces_->setCurrentIndex(0);
        } else {
            mnuWorkspaceDelete_->setEnabled(false);
            mnuWorkspaceNew_Click();
        }
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("mnuWorkspaceDelete_Click"), ErrNum::kGeneral,
                 QString::fromUtf8(e.what()), true);
    }
}

void frmWorkspace::mnuWorkspaceExit_Click() { close(); }

// --- Help -------------------------------------------------------------------------------

void frmWorkspace::cmdHelp_Click() { ShowHelp(this, kModule); }

void frmWorkspace::mnuHelpContents_Click() { ShowHelp(this, QStringLiteral("Main")); }

void frmWorkspace::mnuHelpLearningGuide_Click() {
    const QString path = LearningGuidePath();
    if (FileExists(path))
        DesktopLaunch::ShowDocument(path, kModule, QStringLiteral("mnuHelpLearningGuide_Click"));
}

void frmWorkspace::mnuHelpWeb_Click() {
    DesktopLaunch::ShowDocument(kWebSite, kModule, QStringLiteral("mnuHelpWeb_Click"));
}

void frmWorkspace::mnuHelpAbout_Click() {
    const BusyState busy(this);
    AskCustom(QStringLiteral("frmAbout"), [this] {
        frmAbout about(this);
        about.exec();
        return QVariant();
    });
}

// --- Tools: import and export ---------------------------------------------------------------

QString frmWorkspace::GetImportFileName() {
    return AskOpenFile(this, QStringLiteral("Select file to import from"), QString(),
                       QStringLiteral("All shared files (*.pvds)"));
}

void frmWorkspace::mnuToolsImport_Click() {
    const QString path = GetImportFileName();
    if (path.isEmpty())
        return;
    const BusyState busy(this);
    AskCustom(QStringLiteral("frmImport"), [this, path] {
        frmImport dialog(this);
        dialog.ImportFile = path;
        dialog.Show();
        return QVariant();
    });
    // Imported sources join the registry, imported dashboards the list.
    gSources = std::make_unique<clsSources>();
    if (!gSources->LoadAll(gDB.get())) {
        MsgBox(App::Title() +
                   QStringLiteral(" was unable to use its database. Please contact your "
                                  "administrator to correct the problem."),
               vbInformation);
        close();
        return;
    }
    cmbWorkspaces_Load();
    {
        // Re-selecting the open dashboard must not reopen it.
        const QSignalBlocker blocker(cmbWorkspaces_);
        if (gWorkspace->ID < 1)
            Combo_AddItem(cmbWorkspaces_, gWorkspace->Name, 0);
        Combo_SelectByData(cmbWorkspaces_, gWorkspace->ID);
    }
}

void frmWorkspace::mnuToolsExport_Click() {
    AskCustom(QStringLiteral("frmExport"), [this] {
        frmExport dialog(this);
        dialog.Show();
        return QVariant();
    });
}

// --- Publishing -----------------------------------------------------------------------------

void frmWorkspace::GetPanelsExtent(int32_t& Left, int32_t& Top, int32_t& Right,
                                   int32_t& Bottom) const {
    const int32_t ScaleWidth = PixelsToTwipsX(mdiArea_->width());
    const int32_t ScaleHeight = PixelsToTwipsY(mdiArea_->height());
    Left = ScaleWidth;
    Top = ScaleHeight;
    Right = 0;
    Bottom = 0;
    for (const frmPanel* panel : PanelWindows()) {
        Left = std::min(Left, panel->Left());
        Top = std::min(Top, panel->Top());
        Right = std::max(Right, panel->Left() + panel->Width());
        Bottom = std::max(Bottom, panel->Top() + panel->Height());
    }
    Right = std::min(Right, ScaleWidth);
    Bottom = std::min(Bottom, ScaleHeight);
}

void frmWorkspace::mnuWorkspacePublish_Click() {
    const auto panelCount = static_cast<int>(PanelWindows().size());
    PublishWorkspace(gWorkspace ? gWorkspace->Name : QString(), panelCount, [this](QPixmap* picture) {
        int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
        GetPanelsExtent(Left, Top, Right, Bottom);
        const QWidget* picToolbar = findChild<QToolBar*>(QStringLiteral("picToolbar"));
        const int32_t H = picToolbar && picToolbar->isVisible() ? PixelsToTwipsY(picToolbar->height()) : 0;
        // A panel moved partly beyond the left or top edge is captured from the edge on.
        return CopyFormContents(this, picture, std::max(Left, 0), std::max(Top, 0) + H,
                                Right + 120, Bottom + H + 120);
    });
}

// --- Tools, project switch and the panel dialogs ----------------------------------------

void frmWorkspace::mnuToolsOptions_Click() {
    const BusyState busy(this);
    AskCustom(QStringLiteral("frmOptions"), [this] {
        frmOptions options(this);
        options.Show();
        return QVariant(options.result() == QDialog::Accepted);
    });
    mdiArea_->setBackground(ColorFromRGBValue(gDashboardColor));
    // The time stamp and the alignment of the titles may have changed.
    for (frmPanel* panel : PanelWindows())
        panel->SetCaption();
    TickCount_ = 0;
}

void frmWorkspace::mnuWorkspaceSwitchRepository_Click() {
    if (!QuerySaveChanges(false))
        return;
    const BusyState busy(this);
    AskCustom(QStringLiteral("frmLogin"), [] {
        // Modeless, and owned by nobody: the switch closes this window underneath it.
        auto* login = new frmLogin;
        login->setAttribute(Qt::WA_DeleteOnClose);
        login->CurrMode = QStringLiteral("switch");
        login->show();
        return QVariant();
    });
}

frmPanel* frmWorkspace::ActivePanel() const {
    QMdiSubWindow* active = mdiArea_->activeSubWindow();
    return active ? qobject_cast<frmPanel*>(active->widget()) : nullptr;
}

void frmWorkspace::ForwardToActivePanel(const std::function<void(frmPanel*)>& opener) {
    frmPanel* panel = ActivePanel();
    if (!panel)
        return;
    const BusyState busy(this);
    opener(panel);
}
