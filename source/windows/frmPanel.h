#pragma once
// A panel window: one child window of the dashboard area showing one panel of the current
// dashboard. It reaches its record only as gWorkspace->Panels(Index). This is the window's
// interface towards the main window; its loading here stops at the record and the title, and
// rendering, paste and the display modes fill the operations in.

#include <QWidget>

#include <cstdint>

namespace xl {
class Application;
}

class QMdiSubWindow;

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
    bool Panel_Paste();
    void Panel_BrowsePicture();
    void Panel_ZoomToFit();
    void Panel_Launch();
    void Panel_LaunchCustom();
    void Panel_Drillback();
    bool Panel_Reload(xl::Application* XLInst);
    bool Panel_Load(xl::Application* XLInst, bool Refresh);
    void Panel_Properties(bool IsNew);
    void Panel_Range(bool IsNew);
    void Panel_Caption(bool IsNew);
    void Panel_DrillbackProperties();

    // Placement of the window in the dashboard area, in twips.
    int32_t Left() const;
    int32_t Top() const;
    int32_t Width() const;
    int32_t Height() const;
    void Move(int32_t left, int32_t top);
    void Resize(int32_t width, int32_t height);

    // The frame that carries the window in the dashboard area (itself while it has none).
    QWidget* Frame() const;
    QMdiSubWindow* SubWindow() const;
};
