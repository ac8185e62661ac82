#include "chrome/StateIcons.h"

#include "chrome/BitmapFiles.h"
#include "tasks/TaskListModel.h"

namespace tamsel {

QList<QPixmap> LoadStateIconPixmaps() {
    return LoadStateIconPixmaps(GetButtonSkinFolder());
}

QList<QPixmap> LoadStateIconPixmaps(const QString& folder) {
    QList<QPixmap> icons;
    for (int state = 0; state < kTaskStateCount; ++state) {
        QPixmap icon = LoadBitmapFile(folder + QStringLiteral("/state%1.png").arg(state));
        if (!icon.isNull() && icon.size() != QSize(kStateIconSize, kStateIconSize)) {
            icon = icon.scaled(kStateIconSize, kStateIconSize, Qt::IgnoreAspectRatio,
                               Qt::SmoothTransformation);
        }
        icons.append(icon);
    }
    return icons;
}

}  // namespace tamsel
