#include "chrome/DialogUnits.h"

#include <QApplication>
#include <QFontMetricsF>
#include <cmath>

namespace tamsel {

QFont DialogFont() {
    QFont font = QApplication::font();
    font.setPointSize(8);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    // The average width over the 52 Latin letters, as dialog units are defined.
    const QFontMetricsF metrics(font);
    const qreal letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = std::max(1, static_cast<int>(std::lround(letters / 52.0)));
    m_baseY = std::max(1, static_cast<int>(std::ceil(metrics.height())));
}

int DialogUnits::X(int du) const {
    return static_cast<int>(std::lround(du * m_baseX / 4.0));
}

int DialogUnits::Y(int du) const {
    return static_cast<int>(std::lround(du * m_baseY / 8.0));
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

}  // namespace tamsel
