// Paints the program's artwork and writes it into the given folder:
//   bg.bmp                      the command bar's background, stretched over the bar
//   new/start/stop/delete/convert.bmp  command buttons, four 64x56 pictures stacked
//                               top to bottom: normal, hover, pressed, disabled
//   browse.bmp                  the New Task dialog's Browse button, four 24x22 pictures
//   state0.png .. state4.png    the 13x13 task state icons (Failed, DownLoading, Stop,
//                               Finish, Wait)
//   check.png                   the tick of a ticked check box, used by blue.smf
//   tamsel.png                  the program's 64x64 icon (window, About box, menu entry)
// Everything is drawn from code, so the same build gives the same files.
//
// usage: tamsel_artgen <output folder>

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <functional>

namespace {

// The palette shared with blue.smf.
const QColor kBarTop(0xfb, 0xfd, 0xff);
const QColor kBarBottom(0xe3, 0xed, 0xf9);
const QColor kBarLine(0xb4, 0xcb, 0xe8);
const QColor kAccent(0x2f, 0x7b, 0xd6);
const QColor kAccentDark(0x1d, 0x5f, 0xb0);
const QColor kLabel(0x1f, 0x3b, 0x5c);
const QColor kGreen(0x2e, 0xa8, 0x4f);
const QColor kGreenDark(0x1e, 0x7d, 0x39);
const QColor kRed(0xd9, 0x48, 0x3b);
const QColor kRedDark(0xa8, 0x2e, 0x24);
const QColor kGrey(0x8a, 0x95, 0xa3);

constexpr int kBarHeight = 68;  // about the bar's height; the picture is stretched anyway
constexpr int kButtonTop = 6;   // where the buttons sit in the bar
constexpr int kButtonW = 64;
constexpr int kButtonH = 56;
constexpr int kBrowseW = 24;
constexpr int kBrowseH = 22;

enum Look { kNormal, kHover, kPressed, kDisabled };

QLinearGradient BarGradient(qreal top, qreal height) {
    QLinearGradient gradient(0, top, 0, top + height);
    gradient.setColorAt(0, kBarTop);
    gradient.setColorAt(1, kBarBottom);
    return gradient;
}

QImage BarBackground() {
    QImage image(8, kBarHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(image.rect(), BarGradient(0, kBarHeight));
    p.setPen(Qt::white);
    p.drawLine(0, 0, image.width() - 1, 0);
    p.setPen(kBarLine);
    p.drawLine(0, kBarHeight - 1, image.width() - 1, kBarHeight - 1);
    return image;
}

// Greys a picture out for the disabled look, keeping its alpha.
QImage Desaturated(const QImage& source) {
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = qGray(line[x]);
            const int light = 150 + grey * 90 / 255;
            line[x] =
                qRgba(light, light, light + 6 > 255 ? 255 : light + 6, qAlpha(line[x]) * 3 / 4);
        }
    }
    return image;
}

// Icons are drawn into a 24x24 box.
using IconPainter = std::function<void(QPainter&)>;

void RoundBadge(QPainter& p, const QColor& light, const QColor& dark) {
    QLinearGradient fill(0, 1, 0, 23);
    fill.setColorAt(0, light.lighter(118));
    fill.setColorAt(1, dark);
    p.setPen(QPen(dark.darker(115), 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.5, 1.5, 21, 21));
    // A soft gloss over the upper half.
    QLinearGradient gloss(0, 2, 0, 12);
    gloss.setColorAt(0, QColor(255, 255, 255, 120));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(QRectF(4, 2.5, 16, 10));
}

void PaintNewIcon(QPainter& p) {
    QPainterPath sheet;
    sheet.moveTo(4.5, 1.5);
    sheet.lineTo(14.5, 1.5);
    sheet.lineTo(19.5, 6.5);
    sheet.lineTo(19.5, 22.5);
    sheet.lineTo(4.5, 22.5);
    sheet.closeSubpath();
    QLinearGradient paper(0, 1, 0, 23);
    paper.setColorAt(0, Qt::white);
    paper.setColorAt(1, QColor(0xe6, 0xee, 0xf8));
    p.setPen(QPen(QColor(0x6d, 0x8c, 0xb3), 1));
    p.setBrush(paper);
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(14.5, 1.5);
    fold.lineTo(14.5, 6.5);
    fold.lineTo(19.5, 6.5);
    p.setBrush(QColor(0xd3, 0xdf, 0xee));
    p.drawPath(fold);
    p.setPen(QPen(QColor(0xb9, 0xc9, 0xdd), 1));
    for (int y = 10; y <= 16; y += 3) {
        p.drawLine(QPointF(7.5, y + 0.5), QPointF(13.5, y + 0.5));
    }
    // The plus badge.
    p.setPen(QPen(Qt::white, 1.2));
    QLinearGradient badge(0, 12, 0, 24);
    badge.setColorAt(0, kAccent.lighter(120));
    badge.setColorAt(1, kAccentDark);
    p.setBrush(badge);
    p.drawEllipse(QRectF(12, 12, 11.5, 11.5));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(17.75, 14.8), QPointF(17.75, 20.7));
    p.drawLine(QPointF(14.8, 17.75), QPointF(20.7, 17.75));
}

void PaintStartIcon(QPainter& p) {
    RoundBadge(p, kGreen, kGreenDark);
    QPainterPath play;
    play.moveTo(9.5, 7);
    play.lineTo(17.5, 12);
    play.lineTo(9.5, 17);
    play.closeSubpath();
    p.setPen(QPen(Qt::white, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(play);
}

void PaintStopIcon(QPainter& p) {
    RoundBadge(p, kRed, kRedDark);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(8, 8, 8, 8), 1.5, 1.5);
}

void PaintDeleteIcon(QPainter& p) {
    const QColor edge(0x4f, 0x63, 0x7d);
    QLinearGradient body(4, 0, 20, 0);
    body.setColorAt(0, QColor(0xdd, 0xe6, 0xf1));
    body.setColorAt(0.5, Qt::white);
    body.setColorAt(1, QColor(0xc8, 0xd5, 0xe6));
    QPainterPath can;
    can.moveTo(5.5, 6.5);
    can.lineTo(18.5, 6.5);
    can.lineTo(17.2, 22.5);
    can.lineTo(6.8, 22.5);
    can.closeSubpath();
    p.setPen(QPen(edge, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(body);
    p.drawPath(can);
    p.setPen(QPen(edge.lighter(130), 1.2, Qt::SolidLine, Qt::RoundCap));
    for (qreal x : {9.5, 12.0, 14.5}) {
        p.drawLine(QPointF(x, 9.5), QPointF(x, 19.5));
    }
    // Lid and handle.
    p.setPen(QPen(edge, 1));
    p.setBrush(kRed);
    p.drawRoundedRect(QRectF(3.5, 3.5, 17, 3), 1.2, 1.2);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(9.5, 1.5, 5, 2), 1, 1);
}

void PaintConvertIcon(QPainter& p) {
    // Two arrows chasing each other round a circle.
    const QRectF ring(4, 4, 16, 16);
    auto arrow = [&](int startAngle, const QColor& color, QPointF tip, QPointF a, QPointF b) {
        p.setPen(QPen(color, 3, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(ring, startAngle * 16, 130 * 16);
        QPainterPath head;
        head.moveTo(tip);
        head.lineTo(a);
        head.lineTo(b);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPath(head);
    };
    arrow(40, kAccent, QPointF(2.0, 11.0), QPointF(8.8, 11.0), QPointF(5.4, 15.5));
    arrow(220, kGreen, QPointF(22.0, 13.0), QPointF(15.2, 13.0), QPointF(18.6, 8.5));
}

void PaintFolderIcon(QPainter& p, qreal scale) {
    p.save();
    p.scale(scale, scale);
    QPainterPath back;
    back.moveTo(2.5, 5.5);
    back.lineTo(9, 5.5);
    back.lineTo(11, 7.5);
    back.lineTo(21.5, 7.5);
    back.lineTo(21.5, 19.5);
    back.lineTo(2.5, 19.5);
    back.closeSubpath();
    p.setPen(QPen(QColor(0xb0, 0x82, 0x1c), 1));
    p.setBrush(QColor(0xf0, 0xc0, 0x4f));
    p.drawPath(back);
    QLinearGradient front(0, 10, 0, 20);
    front.setColorAt(0, QColor(0xff, 0xe3, 0x8c));
    front.setColorAt(1, QColor(0xf4, 0xbe, 0x3c));
    QPainterPath lid;
    lid.moveTo(2.5, 19.5);
    lid.lineTo(5, 10.5);
    lid.lineTo(23.5, 10.5);
    lid.lineTo(21.5, 19.5);
    lid.closeSubpath();
    p.setBrush(front);
    p.drawPath(lid);
    p.restore();
}

QImage IconImage(const IconPainter& paintIcon, int size) {
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    paintIcon(p);
    return icon;
}

// A rounded tile behind the hovered or pressed button.
void PaintTile(QPainter& p, const QRectF& box, Look look) {
    if (look != kHover && look != kPressed) {
        return;
    }
    QLinearGradient fill(0, box.top(), 0, box.bottom());
    if (look == kHover) {
        fill.setColorAt(0, QColor(0xf4, 0xf9, 0xff));
        fill.setColorAt(1, QColor(0xd4, 0xe6, 0xfb));
        p.setPen(QPen(QColor(0x8d, 0xb6, 0xe8), 1));
    } else {
        fill.setColorAt(0, QColor(0xbd, 0xd6, 0xf5));
        fill.setColorAt(1, QColor(0xd6, 0xe6, 0xfa));
        p.setPen(QPen(QColor(0x5d, 0x93, 0xd6), 1));
    }
    p.setBrush(fill);
    p.drawRoundedRect(box, 5, 5);
}

QImage CommandButton(const QString& label, const IconPainter& paintIcon, const QFont& font) {
    QImage strip(kButtonW, kButtonH * 4, QImage::Format_RGB32);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QImage icon = IconImage(paintIcon, 28);
    const QImage greyIcon = Desaturated(icon);
    for (int look = kNormal; look <= kDisabled; ++look) {
        const int top = look * kButtonH;
        // The bar's own gradient behind the picture, so it sits seamlessly on the bar.
        p.fillRect(QRect(0, top, kButtonW, kButtonH), BarGradient(top - kButtonTop, kBarHeight));
        PaintTile(p, QRectF(1.5, top + 1.5, kButtonW - 3, kButtonH - 3), Look(look));
        const int shift = look == kPressed ? 1 : 0;
        p.drawImage(QPoint((kButtonW - icon.width()) / 2 + shift, top + 5 + shift),
                    look == kDisabled ? greyIcon : icon);
        p.setFont(font);
        p.setPen(look == kDisabled ? QColor(0xa3, 0xad, 0xba)
                                   : (look == kNormal ? kLabel : kAccentDark));
        p.drawText(QRect(shift, top + 35 + shift, kButtonW, 16), Qt::AlignCenter, label);
    }
    return strip;
}

QImage BrowseButton() {
    QImage strip(kBrowseW, kBrowseH * 4, QImage::Format_RGB32);
    strip.fill(QColor(0xf4, 0xf8, 0xfd));
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    const QImage folder = IconImage([](QPainter& q) { PaintFolderIcon(q, 1.0); }, 16);
    for (int look = kNormal; look <= kDisabled; ++look) {
        const int top = look * kBrowseH;
        const QRectF box(0.5, top + 0.5, kBrowseW - 1, kBrowseH - 1);
        QLinearGradient fill(0, box.top(), 0, box.bottom());
        QColor border(0x9d, 0xb5, 0xd3);
        switch (look) {
            case kNormal:
                fill.setColorAt(0, Qt::white);
                fill.setColorAt(1, QColor(0xe2, 0xec, 0xf8));
                break;
            case kHover:
                fill.setColorAt(0, QColor(0xf4, 0xf9, 0xff));
                fill.setColorAt(1, QColor(0xcd, 0xe2, 0xfb));
                border = kAccent;
                break;
            case kPressed:
                fill.setColorAt(0, QColor(0xb9, 0xd3, 0xf4));
                fill.setColorAt(1, QColor(0xd6, 0xe6, 0xfa));
                border = kAccentDark;
                break;
            default:
                fill.setColorAt(0, QColor(0xf3, 0xf5, 0xf8));
                fill.setColorAt(1, QColor(0xe8, 0xec, 0xf1));
                border = QColor(0xc6, 0xcf, 0xda);
                break;
        }
        p.setPen(QPen(border, 1));
        p.setBrush(fill);
        p.drawRoundedRect(box, 3, 3);
        const int shift = look == kPressed ? 1 : 0;
        p.drawImage(QPoint(4 + shift, top + 3 + shift),
                    look == kDisabled ? Desaturated(folder) : folder);
    }
    return strip;
}

// The state icons, 13x13 with a transparent background.
QImage StateIcon(int state) {
    QImage icon(13, 13, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    auto downArrow = [&](qreal top, qreal bottom) {
        QPainterPath arrow;
        const qreal neck = bottom - 5.0;
        arrow.moveTo(4.5, top);
        arrow.lineTo(8.5, top);
        arrow.lineTo(8.5, neck);
        arrow.lineTo(11.5, neck);
        arrow.lineTo(6.5, bottom);
        arrow.lineTo(1.5, neck);
        arrow.lineTo(4.5, neck);
        arrow.closeSubpath();
        QLinearGradient fill(0, top, 0, bottom);
        fill.setColorAt(0, kGreen.lighter(125));
        fill.setColorAt(1, kGreenDark);
        p.setPen(QPen(kGreenDark, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(fill);
        p.drawPath(arrow);
    };
    switch (state) {
        case 0: {  // Failed: a red cross
            p.setPen(QPen(kRedDark, 3.4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(3, 3), QPointF(10, 10));
            p.drawLine(QPointF(10, 3), QPointF(3, 10));
            p.setPen(QPen(kRed.lighter(115), 2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(3, 3), QPointF(10, 10));
            p.drawLine(QPointF(10, 3), QPointF(3, 10));
            break;
        }
        case 1:  // DownLoading: a green arrow down
            downArrow(1.0, 12.0);
            break;
        case 2: {  // Stop: a grey square
            QLinearGradient fill(0, 2, 0, 11);
            fill.setColorAt(0, QColor(0xb4, 0xbd, 0xc8));
            fill.setColorAt(1, kGrey.darker(115));
            p.setPen(QPen(QColor(0x5f, 0x69, 0x76), 1));
            p.setBrush(fill);
            p.drawRoundedRect(QRectF(2.5, 2.5, 8, 8), 1.5, 1.5);
            break;
        }
        case 3: {  // Finish: a green tick
            QPainterPath tick;
            tick.moveTo(1.8, 7.0);
            tick.lineTo(5.0, 10.2);
            tick.lineTo(11.2, 2.8);
            p.setPen(QPen(kGreenDark, 3.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPath(tick);
            p.setPen(QPen(kGreen.lighter(120), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPath(tick);
            break;
        }
        default: {  // Wait: the arrow over a dotted line
            downArrow(0.5, 9.0);
            p.setPen(Qt::NoPen);
            p.setBrush(kGreenDark);
            for (int x = 1; x < 13; x += 3) {
                p.drawRect(QRectF(x, 11, 2, 2));
            }
            break;
        }
    }
    return icon;
}

// The program's icon: a blue rounded tile with a white arrow landing on a film strip.
QImage AppIcon() {
    QImage icon(64, 64, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient tile(0, 2, 0, 62);
    tile.setColorAt(0, QColor(0x5a, 0xa2, 0xf0));
    tile.setColorAt(1, kAccentDark);
    p.setPen(QPen(kAccentDark.darker(120), 1.5));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(3, 3, 58, 58), 13, 13);
    QLinearGradient gloss(0, 4, 0, 30);
    gloss.setColorAt(0, QColor(255, 255, 255, 90));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawRoundedRect(QRectF(5, 5, 54, 26), 11, 11);
    // Film strip.
    p.setBrush(QColor(0x12, 0x2e, 0x55, 200));
    p.drawRoundedRect(QRectF(12, 44, 40, 11), 2, 2);
    p.setBrush(Qt::white);
    for (int x = 15; x < 50; x += 6) {
        p.drawRect(QRectF(x, 46, 3, 2));
        p.drawRect(QRectF(x, 51, 3, 2));
    }
    // Arrow.
    QPainterPath arrow;
    arrow.moveTo(27, 10);
    arrow.lineTo(37, 10);
    arrow.lineTo(37, 25);
    arrow.lineTo(45, 25);
    arrow.lineTo(32, 40);
    arrow.lineTo(19, 25);
    arrow.lineTo(27, 25);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0x12, 0x2e, 0x55, 120), 1));
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    return icon;
}

// The tick of a ticked check box in the dialogs (the skin points at it).
QImage CheckTick() {
    QImage tick(10, 10, QImage::Format_ARGB32_Premultiplied);
    tick.fill(Qt::transparent);
    QPainter p(&tick);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.moveTo(1.5, 5.2);
    path.lineTo(4.0, 7.7);
    path.lineTo(8.6, 2.2);
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    return tick;
}

bool Save(const QImage& image, const QDir& folder, const QString& name) {
    const QString path = folder.filePath(name);
    const bool png = name.endsWith(QStringLiteral(".png"));
    const QImage out = image.convertToFormat(png ? QImage::Format_ARGB32 : QImage::Format_RGB888);
    if (!out.save(path, png ? "PNG" : "BMP")) {
        std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tamsel_artgen <output folder>\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "artgen: cannot create %s\n", argv[1]);
        return 1;
    }
    QFont label(QStringLiteral("DejaVu Sans"));
    label.setPixelSize(11);
    label.setWeight(QFont::DemiBold);
    label.setHintingPreference(QFont::PreferFullHinting);

    bool ok = Save(BarBackground(), folder, QStringLiteral("bg.bmp"));
    ok = Save(CommandButton(QStringLiteral("New"), PaintNewIcon, label), folder,
              QStringLiteral("new.bmp")) &&
         ok;
    ok = Save(CommandButton(QStringLiteral("Start"), PaintStartIcon, label), folder,
              QStringLiteral("start.bmp")) &&
         ok;
    ok = Save(CommandButton(QStringLiteral("Stop"), PaintStopIcon, label), folder,
              QStringLiteral("stop.bmp")) &&
         ok;
    ok = Save(CommandButton(QStringLiteral("Delete"), PaintDeleteIcon, label), folder,
              QStringLiteral("delete.bmp")) &&
         ok;
    ok = Save(CommandButton(QStringLiteral("Convert"), PaintConvertIcon, label), folder,
              QStringLiteral("convert.bmp")) &&
         ok;
    ok = Save(BrowseButton(), folder, QStringLiteral("browse.bmp")) && ok;
    ok = Save(CheckTick(), folder, QStringLiteral("check.png")) && ok;
    ok = Save(AppIcon(), folder, QStringLiteral("tamsel.png")) && ok;
    for (int state = 0; state < 5; ++state) {
        ok = Save(StateIcon(state), folder, QStringLiteral("state%1.png").arg(state)) && ok;
    }
    return ok ? 0 : 1;
}
