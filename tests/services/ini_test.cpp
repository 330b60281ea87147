// The profile file: letter case, defaults, garbage lines, and writes that keep the other lines.

#include "TestSupport.h"

#include "services/modMain.h"
#include "services/modUtilsINI.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using testsupport::ReadText;
using testsupport::WriteText;

class IniTest : public ProgramFolderTest {};

TEST_F(IniTest, MissingFileGivesTheDefaultsAndIsNotMade) {
    gDashboardColor = 0;
    gPanelTimeStamp = false;
    gRefreshFrequency = 0;
    gCaptionAlignment.clear();
    EXPECT_TRUE(GetOptionsSettings());
    EXPECT_EQ(gDashboardColor, 16777215);
    EXPECT_TRUE(gPanelTimeStamp);
    EXPECT_EQ(gRefreshFrequency, 10);
    EXPECT_EQ(gCaptionAlignment, QStringLiteral("Center"));
    EXPECT_FALSE(QFile::exists(GetINIFile()));
    EXPECT_TRUE(GetINIFile().endsWith(QStringLiteral("/Sheetbeacon.INI")));
}

TEST_F(IniTest, ValuesAreReadAsTheProfileFunctionsReadThem) {
    WriteText(GetINIFile(),
              QStringLiteral("garbage line without equals\r\n[options]\r\n"
                             "  DASHBOARD COLOR = 255 \r\npanel time stamp=5\r\n"
                             "Caption Alignment=\r\nRefresh Frequency=7 minutes\r\n"
                             "[Other]\r\nKey=\"quoted value\"\r\n=no key\r\n"));
    ASSERT_TRUE(GetOptionsSettings());
    EXPECT_EQ(gDashboardColor, 255);
    EXPECT_TRUE(gPanelTimeStamp);                              // any nonzero value
    EXPECT_EQ(gCaptionAlignment, QStringLiteral("Center"));    // empty reads as the default
    EXPECT_EQ(gRefreshFrequency, 7);                           // leading digits count
    EXPECT_EQ(INI_ReadString(GetINIFile(), QStringLiteral("other"), QStringLiteral("key"), QString()),
              QStringLiteral("quoted value"));
    EXPECT_EQ(INI_ReadInt(GetINIFile(), QStringLiteral("Other"), QStringLiteral("Key"), 9), 0);
    EXPECT_EQ(INI_ReadInt(GetINIFile(), QStringLiteral("Nope"), QStringLiteral("Key"), 9), 9);
    EXPECT_EQ(INI_ReadString(GetINIFile(), QStringLiteral("Options"), QStringLiteral("Missing"),
                             QStringLiteral("dflt")),
              QStringLiteral("dflt"));
}

// A key with nothing after "=" (as a hand edit or a half-written file leaves it) takes the
// default like an absent one: not a black dashboard, a pass on every tick, or no time stamps.
TEST_F(IniTest, EmptyNumericValuesTakeTheirDefaults) {
    WriteText(GetINIFile(), QStringLiteral("[Options]\r\nDashboard Color=\r\nPanel Time Stamp=   \r\n"
                                           "Refresh Frequency=\"\"\r\nCaption Alignment=Left\r\n"));
    gDashboardColor = 0;
    gPanelTimeStamp = false;
    gRefreshFrequency = 0;
    ASSERT_TRUE(GetOptionsSettings());
    EXPECT_EQ(gDashboardColor, 16777215);
    EXPECT_TRUE(gPanelTimeStamp);
    EXPECT_EQ(gRefreshFrequency, 10);
    EXPECT_EQ(gCaptionAlignment, QStringLiteral("Left"));
    EXPECT_EQ(INI_ReadInt(GetINIFile(), QStringLiteral("Options"), QStringLiteral("Dashboard Color"), -7), -7);
    // A value that is there but no number still reads as 0, as the profile functions read it.
    WriteText(GetINIFile(), QStringLiteral("[Options]\nDashboard Color=none\n"));
    ASSERT_TRUE(GetOptionsSettings());
    EXPECT_EQ(gDashboardColor, 0);
}

TEST_F(IniTest, RefreshFrequencyOutsideWhatTheOptionsAllowIsTheDefault) {
    const struct { const char* stored; int expected; } cases[] = {
        {"-1", 10}, {"32001", 10}, {"70000", 10}, {"0", 0}, {"32000", 32000}, {"1", 1}, {"abc", 0}};
    for (const auto& c : cases) {
        WriteText(GetINIFile(), QStringLiteral("[Options]\nRefresh Frequency=%1\n").arg(QLatin1String(c.stored)));
        ASSERT_TRUE(GetOptionsSettings());
        EXPECT_EQ(gRefreshFrequency, c.expected) << c.stored;
    }
}

TEST_F(IniTest, SavingWritesBackAndKeepsOtherLines) {
    WriteText(GetINIFile(), QStringLiteral("; my notes\n[Settings]\nLog DB=\n\n[Options]\nPanel Time Stamp=5\nExtra=keep me\n"));
    ASSERT_TRUE(GetOptionsSettings());
    gDashboardColor = RGBValue(1, 2, 3);
    gRefreshFrequency = 25;
    gCaptionAlignment = QStringLiteral("Left");
    ASSERT_EQ(SaveOptionsSettings(), QString());
    const QString text = ReadText(GetINIFile());
    EXPECT_TRUE(text.contains(QStringLiteral("; my notes")));
    EXPECT_TRUE(text.contains(QStringLiteral("Extra=keep me")));
    EXPECT_TRUE(text.contains(QStringLiteral("Panel Time Stamp=-1")));
    EXPECT_EQ(text.count(QStringLiteral("Panel Time Stamp")), 1);
    EXPECT_TRUE(text.contains(QStringLiteral("Dashboard Color=197121")));
    ASSERT_TRUE(GetOptionsSettings());
    EXPECT_EQ(gDashboardColor, RGBValue(1, 2, 3));
    EXPECT_EQ(gRefreshFrequency, 25);
    EXPECT_EQ(gCaptionAlignment, QStringLiteral("Left"));
    EXPECT_TRUE(gPanelTimeStamp);
}

TEST_F(IniTest, FirstWriteMakesTheFileAndANewSection) {
    ASSERT_EQ(INI_WriteString(GetINIFile(), QStringLiteral("Session"), QStringLiteral("Repository"),
                              QStringLiteral("/data/it's mine.pvdu")),
              0);
    ASSERT_EQ(INI_WriteString(GetINIFile(), QStringLiteral("SESSION"), QStringLiteral("Other"),
                              QStringLiteral("x")),
              0);
    EXPECT_EQ(INI_ReadString(GetINIFile(), QStringLiteral("session"), QStringLiteral("REPOSITORY"), QString()),
              QStringLiteral("/data/it's mine.pvdu"));
    EXPECT_EQ(ReadText(GetINIFile()).count(QStringLiteral("[Session]"), Qt::CaseInsensitive), 1);
    // Values are capped as the profile functions' buffer caps them.
    ASSERT_EQ(INI_WriteString(GetINIFile(), QStringLiteral("Options"),
                              QStringLiteral("Caption Alignment"), QString(300, QLatin1Char('x'))),
              0);
    EXPECT_EQ(INI_ReadString(GetINIFile(), QStringLiteral("Options"), QStringLiteral("Caption Alignment"), QString()).size(), 255);
}

TEST_F(IniTest, WritingAValueKeepsEveryOtherLineByteForByte) {
    // Files as other programs and other code pages leave them: Latin-1 and Windows-1252 bytes,
    // a byte that is no text at all, a byte order mark, Unix, Windows and mixed line ends, and a
    // last line without one.
    struct Row {
        const char* what;
        QByteArray before;
        QByteArray after;
    };
    const Row rows[] = {
        {"Latin-1 and a lone byte, Windows line ends",
         "; caf\xe9 \x80 \xff\r\n[Options]\r\nRefresh Frequency=10\r\nNote=na\xefve\r\n",
         "; caf\xe9 \x80 \xff\r\n[Options]\r\nRefresh Frequency=25\r\nNote=na\xefve\r\n"},
        {"Unix line ends and a byte order mark",
         "\xef\xbb\xbf[Options]\nRefresh Frequency=10\n[Other]\nK=\xfe\n",
         "\xef\xbb\xbf[Options]\nRefresh Frequency=25\n[Other]\nK=\xfe\n"},
        {"a key added to its section, mixed line ends, no end on the last line",
         "[Options]\r\nNote=\xa3 5\n\n[Other]\r\nK=v",
         "[Options]\r\nNote=\xa3 5\nRefresh Frequency=25\r\n\n[Other]\r\nK=v"},
        {"a section added after a last line without an end", "[Other]\nK=\xe4",
         "[Other]\nK=\xe4\n\n[Options]\nRefresh Frequency=25\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        testsupport::WriteBytes(GetINIFile(), row.before);
        ASSERT_EQ(INI_WriteString(GetINIFile(), QStringLiteral("Options"),
                                  QStringLiteral("Refresh Frequency"), QStringLiteral("25")),
                  0);
        EXPECT_EQ(testsupport::ReadBytes(GetINIFile()), row.after);
    }
}
