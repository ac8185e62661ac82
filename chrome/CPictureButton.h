#pragma once
// A push button that draws itself from a strip of four pictures stacked top to
// bottom (normal, hover, pressed, disabled) and follows the mouse to pick one.

#include <QAbstractButton>
#include <QPixmap>

namespace tamsel {

class CPictureButton : public QAbstractButton {
    Q_OBJECT
public:
    enum PictureState { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

    explicit CPictureButton(QWidget* parent = nullptr);
    CPictureButton(const QString& text, QWidget* parent = nullptr);

    // Loads the strip and takes the size of one picture (the bitmap's width by a
    // quarter of its height; leftover rows are never shown). A file that does not
    // load leaves the button as it was and returns false.
    bool LoadPicture(const QString& bmpPath);

    bool HasPicture() const { return !m_bitmap.isNull(); }
    // The picture shown now (disabled wins while the button is disabled).
    int CurrentState() const {
        return !isEnabled() ? kDisabled : (m_nState == kDisabled ? kNormal : m_nState);
    }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetState(int state);
    void PaintFallback(QPainter& painter, int state);

    int m_nState = kNormal;
    bool m_bTracking = false;
    int m_nWidth = 0;
    int m_nHeight = 0;
    QPixmap m_bitmap;
};

}  // namespace tamsel
