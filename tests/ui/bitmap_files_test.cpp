// Picture files are read through their "FILE:///" address form, which must still
// find files in folders whose names hold "%" and other address characters.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "chrome/BitmapFiles.h"

using namespace tamsel;

namespace {

TEST(BitmapFiles, FoldersWithAddressCharactersStillFindTheirBitmaps) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QString& name :
         {QStringLiteral("100%"), QStringLiteral("a%20b"), QStringLiteral("50%25 off"),
          QStringLiteral("odd #1?"), QStringLiteral("übung ñ")}) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(QDir(dir.path()).mkpath(name));
        const QString path = dir.path() + u'/' + name + QStringLiteral("/pic.bmp");
        QImage image(6, 8, QImage::Format_RGB32);
        image.fill(QColor(10, 20, 30));
        ASSERT_TRUE(image.save(path, "BMP"));
        const QPixmap loaded = LoadBitmapFile(path);
        ASSERT_FALSE(loaded.isNull());
        EXPECT_EQ(loaded.size(), QSize(6, 8));
        EXPECT_EQ(QColor(loaded.toImage().pixel(2, 2)), QColor(10, 20, 30));
    }
    EXPECT_EQ(BitmapFileAddress(QStringLiteral("/a%b/c.bmp")),
              QStringLiteral("FILE:///a%25b/c.bmp"));
}

TEST(BitmapFiles, WhatIsNotABitmapGivesNone) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile text(dir.filePath(QStringLiteral("text.bmp")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    const bool haveIcoWriter = icon.save(dir.filePath(QStringLiteral("icon.ico")), "ICO");

    EXPECT_TRUE(LoadBitmapFile(dir.filePath(QStringLiteral("missing.bmp"))).isNull());
    EXPECT_TRUE(LoadBitmapFile(dir.filePath(QStringLiteral("text.bmp"))).isNull());
    EXPECT_TRUE(LoadBitmapFile(dir.path()).isNull());
    EXPECT_TRUE(LoadBitmapFile(QString()).isNull());
    if (haveIcoWriter) {
        EXPECT_TRUE(LoadBitmapFile(dir.filePath(QStringLiteral("icon.ico"))).isNull());
    }
}

TEST(BitmapFiles, FoldersBesideTheProgram) {
    const QString program = GetProgramFolder();
    ASSERT_FALSE(program.isEmpty());
    EXPECT_TRUE(program.endsWith(u'/'));
    EXPECT_TRUE(QDir(program).exists());
    EXPECT_EQ(GetButtonSkinFolder(), program + QStringLiteral("ButtonSkin"));
}

}  // namespace
