#pragma once
// Small helpers shared by the widget tests.

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

// The build folder, which holds blue.smf and ButtonSkin like the program's folder.
inline QString BuildDir() {
    return QStringLiteral(TAMSEL_BUILD_DIR);
}
inline QString ArtworkDir() {
    return BuildDir() + QStringLiteral("/ButtonSkin");
}

// What a widget shows now, as an image in its own coordinates.
inline QImage Snapshot(QWidget* widget) {
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QColor PixelAt(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}
