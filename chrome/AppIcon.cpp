#include "chrome/AppIcon.h"

#include "chrome/BitmapFiles.h"

QIcon LoadAppIcon() {
    const QPixmap pixmap = LoadBitmapFile(GetButtonSkinFolder() + QStringLiteral("/tamsel.png"));
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}
