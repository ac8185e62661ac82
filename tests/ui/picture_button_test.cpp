// The picture button: sized to one picture of its strip, and showing the picture
// that follows the mouse, with the disabled look winning over everything.
#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "chrome/CPictureButton.h"

using namespace tamsel;

namespace {

const QColor kLooks[4] = {QColor(200, 30, 30), QColor(30, 160, 30), QColor(30, 30, 200),
                          QColor(128, 128, 128)};

// A strip of four bands, one colour per picture, plus `extraRows` rows never shown.
QString WriteStrip(const QTemporaryDir& dir, int width, int pictureHeight, int extraRows = 0) {
    QImage strip(width, pictureHeight * 4 + extraRows, QImage::Format_RGB32);
    strip.fill(Qt::black);
    QPainter painter(&strip);
    for (int k = 0; k < 4; ++k) {
        painter.fillRect(0, k * pictureHeight, width, pictureHeight, kLooks[k]);
    }
    painter.end();
    const QString path = dir.filePath(QStringLiteral("strip.bmp"));
    EXPECT_TRUE(strip.save(path, "BMP"));
    return path;
}

QColor Shown(CPictureButton& button) {
    const QImage image = Snapshot(&button);
    return PixelAt(image, image.width() / 2, image.height() / 2);
}

void Send(CPictureButton& button, QEvent::Type type) {
    const QPointF inside(5, 5);
    if (type == QEvent::Enter) {
        QEnterEvent event(inside, inside, button.mapToGlobal(inside));
        QCoreApplication::sendEvent(&button, &event);
    } else if (type == QEvent::Leave) {
        QEvent event(QEvent::Leave);
        QCoreApplication::sendEvent(&button, &event);
    } else if (type == QEvent::MouseButtonPress) {
        QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, inside.toPoint());
    } else {
        QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, inside.toPoint());
    }
}

TEST(PictureButton, TakesTheSizeOfOnePicture) {
    QTemporaryDir dir;
    CPictureButton button(QStringLiteral("New"));
    button.move(7, 9);
    ASSERT_TRUE(button.LoadPicture(WriteStrip(dir, 40, 50)));
    EXPECT_EQ(button.size(), QSize(40, 50));
    EXPECT_EQ(button.pos(), QPoint(7, 9));
    // A height that is not a multiple of 4 drops the remaining rows.
    ASSERT_TRUE(button.LoadPicture(WriteStrip(dir, 40, 50, 3)));
    EXPECT_EQ(button.size(), QSize(40, 50));
    EXPECT_EQ(Shown(button), kLooks[0]);
}

TEST(PictureButton, PictureFollowsTheMouse) {
    QTemporaryDir dir;
    CPictureButton button(QStringLiteral("Start"));
    ASSERT_TRUE(button.LoadPicture(WriteStrip(dir, 40, 50)));
    button.show();
    QSignalSpy clicks(&button, &QAbstractButton::clicked);

    struct Step {
        QEvent::Type event;
        int picture;
    } steps[] = {
        {QEvent::Enter, 1},
        {QEvent::MouseButtonPress, 2},
        {QEvent::MouseButtonRelease, 1},
        {QEvent::Leave, 0},
    };
    EXPECT_EQ(Shown(button), kLooks[0]);
    for (const Step& step : steps) {
        Send(button, step.event);
        EXPECT_EQ(button.CurrentState(), step.picture) << step.event;
        EXPECT_EQ(Shown(button), kLooks[step.picture]) << step.event;
    }
    EXPECT_EQ(clicks.count(), 1);
}

TEST(PictureButton, DisabledAlwaysShowsTheDisabledPicture) {
    QTemporaryDir dir;
    CPictureButton button(QStringLiteral("Stop"));
    ASSERT_TRUE(button.LoadPicture(WriteStrip(dir, 40, 50)));
    button.show();
    button.setEnabled(false);
    EXPECT_EQ(Shown(button), kLooks[3]);
    for (QEvent::Type type : {QEvent::Enter, QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::Leave, QEvent::Enter}) {
        Send(button, type);
        EXPECT_EQ(Shown(button), kLooks[3]) << type;
    }
    button.setEnabled(true);
    Send(button, QEvent::Leave);
    EXPECT_EQ(Shown(button), kLooks[0]);
}

TEST(PictureButton, WithoutAPictureItStillWorks) {
    QTemporaryDir dir;
    CPictureButton button(QStringLiteral("Delete"));
    button.setGeometry(3, 4, 93, 50);
    EXPECT_FALSE(button.LoadPicture(dir.filePath(QStringLiteral("missing.bmp"))));
    EXPECT_FALSE(button.HasPicture());
    EXPECT_EQ(button.geometry(), QRect(3, 4, 93, 50));
    button.show();
    // The plain look draws its frame and text rather than nothing.
    const QImage image = Snapshot(&button);
    EXPECT_NE(image.pixel(0, image.height() / 2), image.pixel(image.width() / 2, 2));
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);

    // A strip that later fails to load drops the old one but keeps the size.
    ASSERT_TRUE(button.LoadPicture(WriteStrip(dir, 40, 50)));
    EXPECT_FALSE(button.LoadPicture(dir.filePath(QStringLiteral("missing.bmp"))));
    EXPECT_FALSE(button.HasPicture());
    EXPECT_EQ(button.size(), QSize(40, 50));
}

}  // namespace
