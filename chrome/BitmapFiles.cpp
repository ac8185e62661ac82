#include "chrome/BitmapFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QUrl>

namespace tamsel {

QString GetProgramFolder() {
    // /proc/self/exe works before (and without) an application object.
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const qsizetype slash = exe.lastIndexOf(u'/');
    return slash < 0 ? QString() : exe.left(slash + 1);
}

QString GetButtonSkinFolder() {
    const QString folder = GetProgramFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("ButtonSkin");
}

QString BitmapFileAddress(const QString& path) {
    if (path.isEmpty()) {
        return QString();
    }
    QString absolute = QFileInfo(path).absoluteFilePath();
    if (absolute.startsWith(u'/')) {
        absolute.remove(0, 1);
    }
    // "%" first, so the escapes added after it stay single.
    absolute.replace(u'%', QStringLiteral("%25"));
    absolute.replace(u'#', QStringLiteral("%23"));
    absolute.replace(u'?', QStringLiteral("%3F"));
    return QStringLiteral("FILE:///") + absolute;
}

QPixmap LoadBitmapFile(const QString& path) {
    const QString address = BitmapFileAddress(path);
    if (address.isEmpty()) {
        return QPixmap();
    }
    const QUrl url(address, QUrl::TolerantMode);
    if (!url.isValid() || !url.isLocalFile()) {
        return QPixmap();
    }
    QImageReader reader(url.toLocalFile());
    reader.setDecideFormatFromContent(true);
    if (reader.format() == "ico" || reader.format() == "cur") {
        return QPixmap();
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        return QPixmap();
    }
    return QPixmap::fromImage(image);
}

}  // namespace tamsel
