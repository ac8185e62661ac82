#include "chrome/AppIcon.h"

#include "chrome/BitmapFiles.h"

namespace tamsel {

QIcon LoadAppIcon() {
    const QPixmap pixmap = LoadBitmapFile(GetButtonSkinFolder() + QStringLiteral("/tamsel.png"));
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

}  // namespace tamsel
