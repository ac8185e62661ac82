// The command bar: five skinned buttons that send their commands, a background
// stretched over the whole bar, and a bar that cannot be closed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "chrome/BitmapFiles.h"
#include "chrome/CDialogBarEx.h"
#include "chrome/CPictureButton.h"
#include "chrome/CommandIds.h"
#include "chrome/DialogUnits.h"

using namespace tamsel;

namespace {

struct BarButton {
    int id;
    const char* text;
};
const BarButton kButtons[] = {{ID_FILE_NEW, "New"},
                              {ID_TASK_START, "Start"},
                              {ID_TASK_STOP, "Stop"},
                              {ID_TASK_DELETE, "Delete"},
                              {ID_CONVERT, "Convert"}};

TEST(CommandBar, ButtonsSendTheirCommandsInOrder) {
    CDialogBarEx bar;
    bar.LoadSkinBitmaps(ArtworkDir());
    bar.show();
    QSignalSpy commands(&bar, &CDialogBarEx::Command);
    int previousRight = -1;
    for (const BarButton& b : kButtons) {
        CPictureButton* button = bar.Button(b.id);
        ASSERT_NE(button, nullptr) << b.text;
        EXPECT_EQ(button->toolTip(), QString::fromLatin1(b.text));
        EXPECT_TRUE(button->HasPicture());
        EXPECT_EQ(button->size(), QSize(64, 56));
        EXPECT_GT(button->x(), previousRight);  // left to right, no overlap
        previousRight = button->geometry().right();
        QTest::mouseClick(button, Qt::LeftButton);
    }
    ASSERT_EQ(commands.count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(commands[i][0].toInt(), kButtons[i].id);
    }
}

TEST(CommandBar, BackgroundStretchesOverTheWholeBar) {
    const QImage background = LoadBitmapFile(ArtworkDir() + QStringLiteral("/bg.bmp")).toImage();
    ASSERT_FALSE(background.isNull());
    CDialogBarEx bar;
    bar.LoadSkinBitmaps(ArtworkDir());
    ASSERT_TRUE(bar.HasBackground());
    bar.show();
    for (QSize size : {QSize(900, 70), QSize(1600, 120)}) {
        bar.setFixedSize(size);
        const QImage image = Snapshot(&bar);
        // The far right, beyond the buttons, shows the background's rows top to bottom.
        const int x = size.width() - 3;
        EXPECT_EQ(PixelAt(image, x, 0), QColor(background.pixel(0, 0)));
        EXPECT_EQ(PixelAt(image, x, size.height() - 1),
                  QColor(background.pixel(0, background.height() - 1)));
    }
}

TEST(CommandBar, MissingBitmapsLeaveWorkingPlainButtons) {
    QTemporaryDir empty;
    CDialogBarEx bar;
    bar.LoadSkinBitmaps(empty.path());
    EXPECT_FALSE(bar.HasBackground());
    bar.show();
    QSignalSpy commands(&bar, &CDialogBarEx::Command);
    for (const BarButton& b : kButtons) {
        CPictureButton* button = bar.Button(b.id);
        EXPECT_FALSE(button->HasPicture());
        EXPECT_GT(button->width(), 20);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    EXPECT_EQ(commands.count(), 5);
}

TEST(CommandBar, EveryButtonStaysInViewInANarrowFrame) {
    const DialogUnits du(DialogFont());
    const int layoutX[] = {28, 102, 176, 250, 324};
    for (int frameWidth : {1400, 630, 420}) {
        SCOPED_TRACE(frameWidth);
        QMainWindow frame;
        auto* bar = new CDialogBarEx(&frame);
        bar->LoadSkinBitmaps(ArtworkDir());
        frame.addToolBar(Qt::TopToolBarArea, bar);
        frame.setFixedWidth(frameWidth);
        frame.show();
        QApplication::processEvents();
        int previousRight = -1;
        for (int i = 0; i < 5; ++i) {
            CPictureButton* button = bar->Button(kButtons[i].id);
            const QRect inBar(button->mapTo(bar, QPoint(0, 0)), button->size());
            EXPECT_TRUE(bar->rect().contains(inBar)) << kButtons[i].text;
            EXPECT_GT(button->x(), previousRight) << kButtons[i].text;
            previousRight = button->geometry().right();
            if (frameWidth == 1400) {  // room enough: the layout's own positions
                EXPECT_EQ(button->pos(), QPoint(du.X(layoutX[i]), du.Y(4)));
            }
        }
    }
}

TEST(CommandBar, DocksAtTheTopFloatsAndCannotBeClosed) {
    QMainWindow frame;
    auto* bar = new CDialogBarEx(&frame);
    frame.addToolBar(Qt::TopToolBarArea, bar);
    frame.show();
    EXPECT_EQ(bar->allowedAreas(), Qt::TopToolBarArea);
    EXPECT_TRUE(bar->isFloatable());
    EXPECT_TRUE(bar->isMovable());
    EXPECT_FALSE(bar->toggleViewAction()->isVisible());
    // Neither closing nor the toggle action hides it.
    EXPECT_FALSE(bar->close());
    bar->toggleViewAction()->trigger();
    EXPECT_TRUE(bar->isVisible());
    // The main window's own context menu offers no way to hide it.
    std::unique_ptr<QMenu> menu(frame.createPopupMenu());
    if (menu) {
        for (QAction* action : menu->actions()) {
            EXPECT_FALSE(action->isVisible() && action == bar->toggleViewAction());
        }
    }
}

}  // namespace
