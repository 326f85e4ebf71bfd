#include "ProgramFixture.h"

#include "OrImage.h"
#include "ProgramDialogs.h"
#include "Unit1.h"
#include "Unit10.h"
#include "Unit11.h"
#include "Unit12.h"
#include "Unit13.h"
#include "Unit14.h"
#include "Unit15.h"
#include "Unit16.h"
#include "Unit17.h"
#include "Unit18.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit6.h"
#include "Unit7.h"
#include "Unit8.h"
#include "Unit9.h"

#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

class HostWindowTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        startProgram("\r\ndesligado\r\n");
    }
};

TEST_F(HostWindowTest, CreatedHiddenOnTopWithItsInitialPicture) {
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_TRUE(Form3->isTopmost());
    EXPECT_EQ(Form3->pos(), QPoint(0, 67));
    EXPECT_FALSE(Form3->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(Form3->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    TOrImage* image = Form3->ui.OrImage1;
    EXPECT_EQ(image->geometry(), QRect(8, 8, 400, 120));
    EXPECT_TRUE(image->AutoSize() && image->Center() && image->Stretch());
    EXPECT_EQ(image->PictureOriginal().width(), 400);
    EXPECT_EQ(image->PictureOriginal().height(), 120);
    for (const char* name : TOrImage::EffectPropertyNames)
        EXPECT_EQ(image->property(name).toInt(), 0) << name;
}

TEST_F(HostWindowTest, LayerChangesKeepTheWindowShownAndItsNativeWindow) {
    Form3->show();
    const WId native = Form3->winId();
    const QRect geometry = Form3->geometry();
    Form3->foradotopo();
    EXPECT_FALSE(Form3->isTopmost());
    EXPECT_FALSE(Form3->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    Form3->botanotopo();
    EXPECT_TRUE(Form3->isTopmost());
    EXPECT_TRUE(Form3->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(Form3->isVisible());
    EXPECT_EQ(Form3->winId(), native);
    EXPECT_EQ(Form3->geometry(), geometry);
}

TEST_F(HostWindowTest, WindowsShownFromTheMenuTakeTheHostOutOfTheTopLayer) {
    const auto commands = windowsFromTheMenu();
    for (const auto& [action, window] : commands) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        Form3->botanotopo();
        action->trigger();
        EXPECT_FALSE(Form3->isTopmost());
        EXPECT_TRUE(window->isVisible());
        window->close();
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(Form3->isTopmost()) << "the close box does not put it back";
    }
    Form3->botanotopo();
    Form1->ui.SpeedButton5->click();
    EXPECT_TRUE(Form18->isVisible());
    EXPECT_FALSE(Form3->isTopmost());
    Form18->close();
    EXPECT_FALSE(Form3->isTopmost());
    // The on/off effects leave the layer alone.
    Form1->ui.EscaladeCinza1->trigger();
    EXPECT_FALSE(Form3->isTopmost());
}

TEST_F(HostWindowTest, ClosingTheWindowKeepsTheButtonsAndTheScrollRangeFollowsThePicture) {
    const QString file = path("big.png");
    ASSERT_TRUE(testImage(1500, 900).save(file));
    openPicture(file);
    Form3->close();
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_TRUE(Form1->ui.SpeedButton2->isEnabled());
    Form1->ui.Manual1->trigger();
    EXPECT_EQ(Form3->ui.ImageArea->size(), QSize(1508, 908));
    EXPECT_TRUE(Form3->ui.ScrollBox->horizontalScrollBar()->maximum() > 0);
    Form3->showMinimized();
    Form1->ui.Manual1->trigger();
    EXPECT_FALSE(Form3->isMinimized());
}

TEST_F(HostWindowTest, RealBoxesBelongToTheRaisingWindowAndComeAboveThePictureWindow) {
    ProgramDialogs realBoxes;
    pixmora::setUserDialogs(&realBoxes);
    Form3->show();
    Form18->show();
    ASSERT_TRUE(Form3->isTopmost());
    for (QWidget* raiser : {static_cast<QWidget*>(Form1), static_cast<QWidget*>(Form18)}) {
        bool topmostDuringBox = true;
        QWidget* owner = nullptr;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            topmostDuringBox = Form3->isTopmost();
            owner = box ? box->parentWidget() : nullptr;
            if (box)
                box->close();
        });
        // A control inside the window stands for its window.
        realBoxes.showMessage(raiser == Form18 ? static_cast<QWidget*>(Form18->ui.Button2) : raiser,
                              "Verificação concluida! Pressione OK");
        EXPECT_FALSE(topmostDuringBox);
        EXPECT_EQ(owner, raiser);
        EXPECT_TRUE(Form3->isTopmost());
    }
    pixmora::setUserDialogs(&dialogs);
}

TEST_F(HostWindowTest, EveryOtherWindowBelongsToTheMainWindow) {
    // Window managers keep a dialog-type window above the window it is transient for; X11 only records
    // that for dialog-type windows. Using the main window's menu or tool bar then never buries the picture
    // window or an open dialog under the maximised main window.
    const QList<QWidget*> windows = {Form3,  Form2,  Form4,  Form6,  Form7,  Form8,  Form9,  Form10,
                                     Form11, Form12, Form13, Form14, Form15, Form16, Form17, Form18};
    for (QWidget* window : windows) {
        window->show();
        const std::string name = window->windowTitle().toStdString();
        EXPECT_EQ(window->windowType(), Qt::Dialog) << name;
        ASSERT_NE(window->windowHandle(), nullptr) << name;
        EXPECT_EQ(window->windowHandle()->transientParent(), Form1->windowHandle()) << name;
        window->hide();
    }
}
