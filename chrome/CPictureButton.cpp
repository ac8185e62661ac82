#include "chrome/CPictureButton.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include "chrome/BitmapFiles.h"

namespace tamsel {

CPictureButton::CPictureButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
}

CPictureButton::CPictureButton(const QString& text, QWidget* parent) : CPictureButton(parent) {
    setText(text);
}

bool CPictureButton::LoadPicture(const QString& bmpPath) {
    m_bitmap = QPixmap();
    const QPixmap strip = LoadBitmapFile(bmpPath);
    if (strip.isNull() || strip.height() < 4) {
        update();
        return false;
    }
    m_bitmap = strip;
    m_nWidth = strip.width();
    m_nHeight = strip.height() / 4;
    setFixedSize(m_nWidth, m_nHeight);
    updateGeometry();
    repaint();
    return true;
}

QSize CPictureButton::sizeHint() const {
    if (m_nWidth > 0 && m_nHeight > 0) {
        return QSize(m_nWidth, m_nHeight);
    }
    const QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(text()) + 16, fm.height() + 10);
}

void CPictureButton::SetState(int state) {
    if (m_nState != state) {
        m_nState = state;
        repaint();
    }
}

void CPictureButton::paintEvent(QPaintEvent*) {
    if (!isEnabled()) {
        m_nState = kDisabled;
    } else if (m_nState == kDisabled) {
        m_nState = kNormal;
    }
    QPainter painter(this);
    if (m_bitmap.isNull()) {
        PaintFallback(painter, m_nState);
        return;
    }
    painter.drawPixmap(QPoint(0, 0), m_bitmap, QRect(0, m_nHeight * m_nState, m_nWidth, m_nHeight));
}

// Without a strip: a flat button with its text, tinted by the mouse state.
void CPictureButton::PaintFallback(QPainter& painter, int state) {
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    QColor fill = pal.color(QPalette::Button);
    QColor border = pal.color(QPalette::Mid);
    if (state == kHover) {
        fill = pal.color(QPalette::Highlight).lighter(185);
        border = pal.color(QPalette::Highlight);
    } else if (state == kPressed) {
        fill = pal.color(QPalette::Highlight).lighter(150);
        border = pal.color(QPalette::Highlight).darker(120);
    }
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(border);
    painter.setBrush(fill);
    painter.drawRoundedRect(frame, 3, 3);
    painter.setPen(pal.color(state == kDisabled ? QPalette::Disabled : QPalette::Active,
                             QPalette::ButtonText));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
}

void CPictureButton::enterEvent(QEnterEvent* event) {
    // The hover picture follows entering at once.
    m_bTracking = true;
    SetState(kHover);
    QAbstractButton::enterEvent(event);
}

void CPictureButton::leaveEvent(QEvent* event) {
    m_bTracking = false;
    SetState(kNormal);
    QAbstractButton::leaveEvent(event);
}

void CPictureButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        SetState(kPressed);
    }
    QAbstractButton::mousePressEvent(event);
}

void CPictureButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        SetState(kHover);
    }
    QAbstractButton::mouseReleaseEvent(event);
}

void CPictureButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        update();
    }
    QAbstractButton::changeEvent(event);
}

}  // namespace tamsel
