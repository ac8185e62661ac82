#pragma once
// The five 13 by 13 state icons, read from the ButtonSkin folder ("state0.png" ..
// "state4.png", written by the build's artwork generator).

#include <QList>
#include <QPixmap>
#include <QString>

namespace tamsel {

inline constexpr int kStateIconSize = 13;

// The icons in the order of the state codes 0..4 (Failed, DownLoading, Stop, Finish,
// Wait). An icon that cannot be read is a null pixmap: that state draws no icon.
QList<QPixmap> LoadStateIconPixmaps();
QList<QPixmap> LoadStateIconPixmaps(const QString& folder);

}  // namespace tamsel
