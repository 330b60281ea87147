// List, confirmation and picture helpers on real widgets and the real clipboard, offscreen.

#include "TestSupport.h"

#include "services/UserPrompts.h"
#include "ui/modUtilsControls.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsMath.h"
#include "services/modUtilsMisc.h"
#include "ui/modUtilsPics.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>

namespace {

class HelpersTest : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        InitLog(GetLogFile(), false, false);
    }
};

// Paints every pixel with a colour that tells where it is.
class Pattern : public QWidget {
public:
    static QColor At(int x, int y) { return QColor(x % 256, y % 256, (x / 256) * 40 + 10); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int x = 0; x < width(); ++x)
            for (int y = 0; y < height(); ++y) {
                p.setPen(At(x, y));
                p.drawPoint(x, y);
            }
    }
};

void Type(QWidget* box, const QString& keys) {
    for (const QChar c : keys) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(box, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(box, &release);
    }
}

TEST_F(HelpersTest, CombosSelectByDataAndText) {
    QComboBox combo;
    Combo_AddItem(&combo, QStringLiteral("Sales"), 12);
    Combo_AddItem(&combo, QStringLiteral("Costs"), 7);
    Combo_AddItem(&combo, QStringLiteral("Costs again"), 7);
    Combo_AddItem(&combo, QStringLiteral("Big"), 2147483647);
    EXPECT_EQ(Combo_ItemData(&combo, 0), 12);

    Combo_SelectByData(&combo, 7);
    EXPECT_EQ(combo.currentIndex(), 1);  // the first of two
    Combo_SelectByData(&combo, 2147483647);
    EXPECT_EQ(combo.currentIndex(), 3);
    Combo_SelectByData(&combo, 99);
    EXPECT_EQ(combo.currentIndex(), -1);

    Combo_SelectByText(&combo, QStringLiteral("  sales "));
    EXPECT_EQ(combo.currentIndex(), 0);
    Combo_SelectByText(&combo, QStringLiteral("Cost"));
    EXPECT_EQ(combo.currentIndex(), -1);

    QComboBox editable;
    editable.setEditable(true);
    Combo_AddItem(&editable, QStringLiteral(" Left "), 1);
    Combo_SelectByText(&editable, QStringLiteral("LEFT"));
    EXPECT_EQ(editable.currentIndex(), 0);

    // A missing control is left alone without a crash.
    Combo_AddItem(nullptr, QStringLiteral("x"), 1);
    Combo_SelectByData(nullptr, 1);
    Combo_SelectByText(nullptr, QStringLiteral("x"));
}

TEST_F(HelpersTest, ListsSelectByData) {
    QListWidget list;
    List_AddItem(&list, QStringLiteral("North"), 3);
    List_AddItem(&list, QStringLiteral("South"), 5);
    List_AddItem(&list, QStringLiteral("East"), -4);
    EXPECT_EQ(List_ItemData(&list, 2), -4);
    EXPECT_EQ(List_ItemData(&list, 9), 0);

    List_SelectByData(&list, 5);
    EXPECT_EQ(list.currentRow(), 1);
    ASSERT_EQ(list.selectedItems().size(), 1);
    EXPECT_EQ(list.selectedItems()[0]->text(), QStringLiteral("South"));
    List_SelectByData(&list, 42);
    EXPECT_EQ(list.currentRow(), -1);
    EXPECT_TRUE(list.selectedItems().isEmpty());

    QListWidget many;
    many.setSelectionMode(QAbstractItemView::MultiSelection);
    List_AddItem(&many, QStringLiteral("One"), 1);
    List_AddItem(&many, QStringLiteral("Two"), 2);
    List_SelectByData(&many, 2);
    List_SelectByData(&many, 1);
    EXPECT_TRUE(many.item(0)->isSelected());
    List_SelectByData(nullptr, 1);
}

TEST_F(HelpersTest, NameKeysRefuseQuotesStarAndPlus) {
    for (const int refused : {int('\''), int('"'), int('*'), int('+')}) {
        int key = refused;
        ValidNameKey(key);
        EXPECT_EQ(key, 0) << refused;
    }
    for (const int passed : {int('a'), int('Z'), int('-'), int('_'), int(' '), 8, 13, 0x00E9}) {
        int key = passed;
        ValidNameKey(key);
        EXPECT_EQ(key, passed);
    }

    QLineEdit name;
    InstallValidNameKey(&name);
    Type(&name, QStringLiteral("Q1+Sales 'été' \"*West*\""));
    EXPECT_EQ(name.text(), QStringLiteral("Q1Sales été West"));
    // Editing keys still work.
    QKeyEvent back(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QCoreApplication::sendEvent(&name, &back);
    EXPECT_EQ(name.text(), QStringLiteral("Q1Sales été Wes"));
}

TEST_F(HelpersTest, ConfirmActionDefaultsToNo) {
    EXPECT_FALSE(ConfirmAction(QStringLiteral("Delete the panel?")));
    ASSERT_EQ(PromptScript::Record().size(), 1u);
    EXPECT_EQ(PromptScript::Record()[0].title, QStringLiteral("Confirm Action"));
    EXPECT_EQ(PromptScript::Record()[0].text, QStringLiteral("Delete the panel?"));
    EXPECT_EQ(PromptScript::Record()[0].style, 292);
    PromptScript::QueueMsgBox(vbYes);
    EXPECT_TRUE(ConfirmAction(QStringLiteral("Delete the dashboard?")));
    PromptScript::QueueMsgBox(vbNo);
    EXPECT_FALSE(ConfirmAction(QStringLiteral("Delete the dashboard?")));
}

TEST_F(HelpersTest, MinAndMaxOfSixteenBitValues) {
    EXPECT_EQ(MinInt(3, 3), 3);
    EXPECT_EQ(MaxInt(3, 3), 3);
    EXPECT_EQ(MinInt(-5, 2), -5);
    EXPECT_EQ(MaxInt(-5, 2), 2);
    EXPECT_EQ(MinInt(32767, -32768), -32768);
    EXPECT_EQ(MaxInt(32767, -32768), 32767);
}

TEST_F(HelpersTest, CopyFormContentsTakesTheAreaInTwips) {
    Pattern form;
    form.resize(700, 400);
    form.show();
    const double tppX = 1440.0 / form.logicalDpiX();
    const double tppY = 1440.0 / form.logicalDpiY();
    QPixmap picture;
    ASSERT_TRUE(CopyFormContents(&form, &picture, 300, 150, 9300, 4650));
    const int left = qRound(300 / tppX), top = qRound(150 / tppY);
    EXPECT_EQ(picture.width(), qRound(9000 / tppX));
    EXPECT_EQ(picture.height(), qRound(4500 / tppY));
    if (form.logicalDpiX() == 96) {  // 15 twips per pixel
        EXPECT_EQ(picture.width(), 600);
        EXPECT_EQ(left, 20);
    }
    const QImage image = picture.toImage();
    EXPECT_EQ(image.pixelColor(0, 0), Pattern::At(left, top));
    EXPECT_EQ(image.pixelColor(599, 3), Pattern::At(left + 599, top + 3));

    // Another window lying over the form is not in the copy.
    QWidget cover;
    cover.setStyleSheet(QStringLiteral("background: red"));
    cover.setGeometry(form.geometry());
    cover.show();
    cover.raise();
    ASSERT_TRUE(CopyFormContents(&form, &picture, 300, 150, 9300, 4650));
    EXPECT_EQ(picture.toImage().pixelColor(10, 10), Pattern::At(left + 10, top + 10));

    // An area reaching past the window keeps its size; the part outside is background.
    ASSERT_TRUE(CopyFormContents(&form, &picture, 0, 0, qRound(800 * tppX), qRound(100 * tppY)));
    EXPECT_EQ(picture.width(), 800);
    EXPECT_EQ(picture.toImage().pixelColor(699, 5), Pattern::At(699, 5));
    EXPECT_EQ(picture.toImage().pixelColor(750, 5),
              form.palette().color(form.backgroundRole()));

    // An empty or reversed area is refused with the error box.
    EXPECT_FALSE(CopyFormContents(&form, &picture, 900, 0, 300, 600));
    EXPECT_TRUE(picture.isNull());
    EXPECT_FALSE(CopyFormContents(nullptr, &picture, 0, 0, 300, 300));
    ASSERT_EQ(PromptScript::Messages().size(), 2);
    EXPECT_TRUE(LogText().contains(QStringLiteral("CopyFormContents")));
}

TEST_F(HelpersTest, CopyFormContentsOfAMainWindowStartsBelowItsMenu) {
    QMainWindow main;
    main.menuBar()->addMenu(QStringLiteral("&Dashboard"));
    auto* pattern = new Pattern;
    main.setCentralWidget(pattern);
    main.resize(500, 300);
    main.show();
    QPixmap picture;
    const double tpp = 1440.0 / main.logicalDpiX();
    ASSERT_TRUE(CopyFormContents(&main, &picture, 0, 0, qRound(100 * tpp), qRound(50 * tpp)));
    ASSERT_GT(main.menuBar()->height(), 0);
    EXPECT_EQ(picture.toImage().pixelColor(0, 0), Pattern::At(0, 0));
    EXPECT_EQ(picture.toImage().pixelColor(40, 20), Pattern::At(40, 20));
}

TEST_F(HelpersTest, CopyPic2007LeavesAPlainBitmap) {
    QImage chart(40, 30, QImage::Format_ARGB32);
    chart.fill(Qt::transparent);
    QPainter p(&chart);
    p.fillRect(0, 0, 20, 30, QColor(200, 0, 0));
    p.fillRect(20, 0, 10, 30, QColor(0, 0, 255, 128));
    p.end();
    QGuiApplication::clipboard()->setImage(chart);

    CopyPic2007();
    const QImage result = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(result.isNull());
    EXPECT_EQ(result.size(), chart.size());
    EXPECT_FALSE(result.hasAlphaChannel());
    EXPECT_EQ(result.pixelColor(5, 5), QColor(200, 0, 0));
    EXPECT_EQ(result.pixelColor(35, 5), QColor(Qt::white));
    const QColor half = result.pixelColor(25, 5);
    EXPECT_NEAR(half.red(), 127, 2);
    EXPECT_EQ(half.blue(), 255);
    EXPECT_TRUE(PromptScript::Messages().isEmpty());

    // Nothing to turn into a bitmap: reported with a box, clipboard left as it was.
    QGuiApplication::clipboard()->setText(QStringLiteral("just text"));
    CopyPic2007();
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(LogText().contains(QStringLiteral("CopyPic2007")));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("just text"));
}

}  // namespace
