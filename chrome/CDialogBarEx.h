#pragma once
// The command bar under the menu: five picture buttons over a stretched background.
// It docks at the top only, can float and dock again, and can never be closed.

#include <QPixmap>
#include <QToolBar>

namespace tamsel {

class CPictureButton;

class CDialogBarEx : public QToolBar {
    Q_OBJECT
public:
    explicit CDialogBarEx(QWidget* parent = nullptr);

    // Loads "bg.bmp" and the five button strips from the ButtonSkin folder (or the
    // given folder). Missing or bad files only leave the plain look.
    void LoadSkinBitmaps();
    void LoadSkinBitmaps(const QString& folder);

    // The button that sends `id`, or null.
    CPictureButton* Button(int id) const;
    bool HasBackground() const { return !m_bmBackground.isNull(); }

Q_SIGNALS:
    void Command(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadBackground(const QString& folder);
    void SetupButton(CPictureButton* button, int id, const QString& file, const QString& folder);
    CPictureButton* AddButton(const QString& caption, int id, int xDu);
    void UpdatePanelWidth();
    void LayoutButtons();

    QWidget* m_panel = nullptr;
    QPixmap m_bmBackground;
    CPictureButton* m_btnNew = nullptr;
    CPictureButton* m_btnStart = nullptr;
    CPictureButton* m_btnStop = nullptr;
    CPictureButton* m_btnDelete = nullptr;
    CPictureButton* m_btnConvert = nullptr;
};

}  // namespace tamsel
