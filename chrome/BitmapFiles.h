#pragma once
// Where the program's pictures live and how a picture file is read.

#include <QPixmap>
#include <QString>

namespace tamsel {

// The executable's folder, ending in "/"; empty when the executable's path is unknown.
QString GetProgramFolder();

// The folder of the button bitmaps: the program folder followed by "ButtonSkin",
// without a trailing "/"; empty when the program folder is empty.
QString GetButtonSkinFolder();

// The "FILE:///" address of a path, with "%" (and the other characters that would
// end or change a path inside an address: "#", "?") escaped. Empty for an empty path.
QString BitmapFileAddress(const QString& path);

// Reads a picture file through its address form. A null pixmap when the file is
// missing, unreadable, not a picture, or an icon.
QPixmap LoadBitmapFile(const QString& path);

}  // namespace tamsel
