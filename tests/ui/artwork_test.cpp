// The build paints the ButtonSkin artwork beside the program: the files exist,
// have the sizes the bar and the dialog expect, and their pictures differ by look.
#include <gtest/gtest.h>

#include <QImage>

#include "UiTestSupport.h"
#include "chrome/BitmapFiles.h"
#include "chrome/StateIcons.h"

using namespace tamsel;

namespace {

TEST(Artwork, ButtonStripsHaveFourDistinctPictures) {
    struct Case {
        const char* file;
        QSize picture;
    } cases[] = {
        {"new.bmp", {64, 56}},    {"start.bmp", {64, 56}},   {"stop.bmp", {64, 56}},
        {"delete.bmp", {64, 56}}, {"convert.bmp", {64, 56}}, {"browse.bmp", {24, 22}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QImage strip =
            LoadBitmapFile(ArtworkDir() + u'/' + QString::fromLatin1(c.file)).toImage();
        ASSERT_FALSE(strip.isNull());
        EXPECT_EQ(strip.size(), QSize(c.picture.width(), c.picture.height() * 4));
        QList<QImage> looks;
        for (int k = 0; k < 4; ++k) {
            looks.append(
                strip.copy(0, k * c.picture.height(), c.picture.width(), c.picture.height()));
        }
        for (int a = 0; a < 4; ++a) {
            for (int b = a + 1; b < 4; ++b) {
                EXPECT_NE(looks[a], looks[b]) << a << " vs " << b;
            }
        }
    }
    const QPixmap background = LoadBitmapFile(ArtworkDir() + QStringLiteral("/bg.bmp"));
    EXPECT_FALSE(background.isNull());
}

TEST(Artwork, FiveStateIconsOfThirteenPixels) {
    const QList<QPixmap> icons = LoadStateIconPixmaps(ArtworkDir());
    ASSERT_EQ(icons.size(), 5);
    for (int state = 0; state < 5; ++state) {
        SCOPED_TRACE(state);
        ASSERT_FALSE(icons[state].isNull());
        const QImage image(ArtworkDir() + QStringLiteral("/state%1.png").arg(state));
        EXPECT_EQ(image.size(), QSize(13, 13));
        EXPECT_TRUE(image.hasAlphaChannel());
        for (int other = 0; other < state; ++other) {
            EXPECT_NE(icons[state].toImage(), icons[other].toImage()) << other;
        }
    }
    // Red for Failed, green for Finish, grey for Stop: sample their centres.
    const QColor failed = icons[0].toImage().pixelColor(6, 6);
    const QColor stop = icons[2].toImage().pixelColor(6, 6);
    EXPECT_GT(failed.red(), failed.green() + 60);
    EXPECT_LT(std::abs(stop.red() - stop.blue()), 40);
    const QImage finish = icons[3].toImage();
    bool green = false;
    for (int x = 0; x < 13 && !green; ++x) {
        for (int y = 0; y < 13 && !green; ++y) {
            const QColor c = finish.pixelColor(x, y);
            green = c.alpha() > 200 && c.green() > c.red() + 60;
        }
    }
    EXPECT_TRUE(green);
}

TEST(Artwork, ProgramIconAndCheckTick) {
    const QImage icon(ArtworkDir() + QStringLiteral("/tamsel.png"));
    EXPECT_EQ(icon.size(), QSize(64, 64));
    EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0);  // rounded corners stay clear
    EXPECT_GT(icon.pixelColor(32, 6).blue(), icon.pixelColor(32, 6).red());
    const QImage tick(ArtworkDir() + QStringLiteral("/check.png"));
    EXPECT_FALSE(tick.isNull());
}

TEST(Artwork, MissingFolderGivesNoIcons) {
    const QList<QPixmap> icons = LoadStateIconPixmaps(QStringLiteral("/nonexistent/ButtonSkin"));
    ASSERT_EQ(icons.size(), 5);
    for (const QPixmap& icon : icons) {
        EXPECT_TRUE(icon.isNull());
    }
}

}  // namespace
