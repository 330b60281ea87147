#pragma once
// A desktop of the journeys' own: an X server (Xvfb) on a display nobody else uses, the openbox
// window manager, and the programs a user runs there, driven through the X server with xdotool
// (keys and mouse) and looked at through the server's frame buffer. Every process is started in
// a process group of its own and ended with it, so nothing of a journey outlives it.

#include <QImage>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QProcess;

namespace journey {

// The tools a journey runs, with the Debian package of each: the first one missing as
// "<tool> is missing: install the Debian package <package> ...", "" when all are there.
std::string MissingTool();

// LibreOffice's private profile (registrymodifications.xcu): no first-start dialogs, no tips,
// no question whether to keep the .xlsx format when saving, no recovery of documents an earlier
// run left open, and no red marks of the spelling check over the cells.
const char* CalcProfileSettings();

// A program in a process group of its own, its output going to a file.
class Process {
public:
    Process();
    ~Process();
    bool Start(const QString& program, const QStringList& args, const QProcessEnvironment& env,
               const QString& outputFile);
    bool Running() const;
    bool WaitForExit(int ms);
    // What it wrote to its standard output so far (when it was started without an output file).
    QByteArray ReadOutput();
    // Asks the whole group to end, then forces it.
    void Stop();
    QString Error() const;

private:
    std::unique_ptr<QProcess> process_;
    qint64 group_ = 0;
};

class Desktop {
public:
    ~Desktop();
    // Starts Xvfb on a free display and openbox on it; false with the reason in `why`.
    bool Start(const QString& folder, QString* why);
    void Stop();
    QString Display() const { return display_; }
    // The system's environment with this display, for the programs started on it.
    QProcessEnvironment Environment() const;

    // The screen as the server holds it now.
    QImage Screen() const;
    QSize ScreenSize() const { return QSize(kWidth, kHeight); }

    // xdotool with `args`; its standard output in `out`. False when it failed.
    bool Xdo(const QStringList& args, QString* out = nullptr) const;
    // The shown windows whose title matches the regular expression, oldest first.
    QStringList Windows(const QString& titlePattern) const;
    QRect Geometry(const QString& window) const;
    bool Place(const QString& window, const QRect& where) const;
    bool Activate(const QString& window) const;
    bool Keys(const QStringList& keys) const;
    bool Type(const QString& text) const;
    bool Click(const QPoint& at, int button = 1) const;
    bool Drag(const QPoint& from, const QPoint& to) const;

    // The clipboard's offered formats, and the bytes of one of them (xclip).
    QStringList ClipboardTargets() const;
    QByteArray Clipboard(const QString& target) const;

    static constexpr int kWidth = 1920;
    static constexpr int kHeight = 1080;

private:
    Process xvfb_;
    Process openbox_;
    QString display_;
    QString frameBuffer_;
};

// Where `picture` lies on `screen`, pixel for pixel, inside `within` (the whole screen when
// empty); nothing when it is not there whole.
std::optional<QPoint> Find(const QImage& screen, const QImage& picture, QRect within = QRect());
// The first pixel of `color` inside `within`, scanning rows from the top.
std::optional<QPoint> FindColor(const QImage& screen, QRgb color, const QRect& within);
// The smallest rectangle holding every pixel in which the two pictures differ; empty when none.
QRect Difference(const QImage& a, const QImage& b);

}  // namespace journey
