#pragma once
// Start-up, the program-wide globals and options, the folders beside the program, the
// drill-back lookup and the key/value settings of the repository.

#include "platform/database/Database.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

// The open repository, shared by every part; replaced by the repository choice dialog.
extern std::unique_ptr<db::Database> gDB;

// The four options of section "Options".
extern int32_t gDashboardColor;     // RGB value of the main window's background
extern bool gPanelTimeStamp;        // show the source time in panel titles
extern int16_t gRefreshFrequency;   // timer ticks (minutes) between automatic refreshes
extern QString gCaptionAlignment;   // "Left" or "Center"

// The entry procedure: log, help, options and repository; then `showMainWindow`. Returns
// false when start-up was refused (its boxes shown); the program then ends.
[[nodiscard]] bool Main(const std::function<void()>& showMainWindow);
[[nodiscard]] bool InitStandard();
void Main_Exit();

[[nodiscard]] bool ReadOptionsSettings(const QString& iniPath, bool flag);
[[nodiscard]] bool GetOptionsSettings();
// Writes the four options to the INI file: "" when written, otherwise why not (logged), in words
// for a message.
[[nodiscard]] QString SaveOptionsSettings();

QString GetRepositoryFile();
QString GetPanelsFolder();     // ends with a separator; "" when it can't be made
QString GetTemplatesFolder();  // ends with a separator; "" when it can't be made

[[nodiscard]] bool HasDrillback(int32_t sourceID, const QString& sheetName, db::Database* DB);

[[nodiscard]] bool DeleteSystemSettings(const QString& key);
QString GetSystemSettings(const QString& key);
[[nodiscard]] bool SaveSystemSettings(const QString& key, const QString& value);

// Colours are stored as RGB values with red in the low byte, the form the INI files and the
// repository already hold.
inline int32_t RGBValue(int r, int g, int b) { return r | (g << 8) | (b << 16); }
