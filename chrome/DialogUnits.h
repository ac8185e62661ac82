#pragma once
// Dialog units: layouts are given in quarters of the font's average character width
// and eighths of its height, so they scale with the font.

#include <QFont>
#include <QRect>

namespace tamsel {

// The font our dialogs and the command bar are laid out in: the application's font
// family at 8 points.
QFont DialogFont();

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int du) const;  // horizontal dialog units to pixels
    int Y(int du) const;  // vertical dialog units to pixels
    QRect Rect(int x, int y, int width, int height) const;
    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

private:
    int m_baseX;
    int m_baseY;
};

}  // namespace tamsel
