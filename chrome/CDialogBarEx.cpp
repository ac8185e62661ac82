#include "chrome/CDialogBarEx.h"

#include <QCloseEvent>
#include <QPainter>
#include <QStyleOptionToolBar>

#include "chrome/BitmapFiles.h"
#include "chrome/CPictureButton.h"
#include "chrome/CommandIds.h"
#include "chrome/DialogUnits.h"

namespace tamsel {

namespace {
// The bar's layout in dialog units: 415 by 40, buttons 62 by 31 with their top at 4.
constexpr int kBarWidthDu = 415;
constexpr int kBarHeightDu = 40;
constexpr int kButtonTopDu = 4;
constexpr int kButtonWidthDu = 62;
constexpr int kButtonHeightDu = 31;
}  // namespace

CDialogBarEx::CDialogBarEx(QWidget* parent) : QToolBar(QStringLiteral("Command Bar"), parent) {
    setObjectName(QStringLiteral("CommandBar"));
    setAllowedAreas(Qt::TopToolBarArea);
    setMovable(true);
    setFloatable(true);
    // The bar is never hidden: it offers no entry in the main window's context menu.
    toggleViewAction()->setVisible(false);
    toggleViewAction()->setEnabled(false);

    m_panel = new QWidget(this);
    m_panel->setObjectName(QStringLiteral("CommandBarPanel"));
    m_panel->setFont(DialogFont());
    // The panel fills the bar's width; it needs only as much as the buttons take.
    const DialogUnits du(m_panel->font());
    m_panel->setFixedHeight(du.Y(kBarHeightDu));
    m_panel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    addWidget(m_panel);
    m_panel->installEventFilter(this);

    m_btnNew = AddButton(QStringLiteral("New"), ID_FILE_NEW, 28);
    m_btnStart = AddButton(QStringLiteral("Start"), ID_TASK_START, 102);
    m_btnStop = AddButton(QStringLiteral("Stop"), ID_TASK_STOP, 176);
    m_btnDelete = AddButton(QStringLiteral("Delete"), ID_TASK_DELETE, 250);
    m_btnConvert = AddButton(QStringLiteral("Convert"), ID_CONVERT, 324);
    UpdatePanelWidth();
}

void CDialogBarEx::UpdatePanelWidth() {
    // The layout's own width when there is room; in a narrower bar the buttons move
    // closer together (never overlapping), so every one of them stays in view.
    const DialogUnits du(m_panel->font());
    const int width = m_btnConvert->width();
    const int needed = du.X(324) * (width + 2) / std::max(1, du.X(74)) + width + du.X(4);
    m_panel->setMinimumWidth(std::min(needed, du.X(kBarWidthDu)));
    LayoutButtons();
}

void CDialogBarEx::LayoutButtons() {
    const DialogUnits du(m_panel->font());
    const int lastX = du.X(324);
    const int room = m_panel->width() - m_btnConvert->width() - du.X(kButtonTopDu);
    const double scale = room >= lastX ? 1.0 : std::max(0, room) / static_cast<double>(lastX);
    for (CPictureButton* button : {m_btnNew, m_btnStart, m_btnStop, m_btnDelete, m_btnConvert}) {
        const int x = du.X(button->property("layoutX").toInt());
        button->move(static_cast<int>(x * scale), du.Y(kButtonTopDu));
    }
}

bool CDialogBarEx::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_panel && event->type() == QEvent::Resize) {
        LayoutButtons();
    }
    return QToolBar::eventFilter(watched, event);
}

CPictureButton* CDialogBarEx::AddButton(const QString& caption, int id, int xDu) {
    auto* button = new CPictureButton(caption, m_panel);
    button->setToolTip(caption);
    button->setAccessibleName(caption);
    button->setProperty("commandId", id);
    button->setProperty("layoutX", xDu);
    const DialogUnits du(m_panel->font());
    button->setGeometry(du.Rect(xDu, kButtonTopDu, kButtonWidthDu, kButtonHeightDu));
    connect(button, &QAbstractButton::clicked, this, [this, id] { Q_EMIT Command(id); });
    return button;
}

CPictureButton* CDialogBarEx::Button(int id) const {
    for (CPictureButton* button : {m_btnNew, m_btnStart, m_btnStop, m_btnDelete, m_btnConvert}) {
        if (button->property("commandId").toInt() == id) {
            return button;
        }
    }
    return nullptr;
}

void CDialogBarEx::LoadSkinBitmaps() {
    LoadSkinBitmaps(GetButtonSkinFolder());
}

void CDialogBarEx::LoadSkinBitmaps(const QString& folder) {
    LoadBackground(folder);
    SetupButton(m_btnNew, ID_FILE_NEW, QStringLiteral("/new.bmp"), folder);
    SetupButton(m_btnStart, ID_TASK_START, QStringLiteral("/start.bmp"), folder);
    SetupButton(m_btnStop, ID_TASK_STOP, QStringLiteral("/stop.bmp"), folder);
    SetupButton(m_btnDelete, ID_TASK_DELETE, QStringLiteral("/delete.bmp"), folder);
    SetupButton(m_btnConvert, ID_CONVERT, QStringLiteral("/convert.bmp"), folder);
    UpdatePanelWidth();
}

void CDialogBarEx::LoadBackground(const QString& folder) {
    if (!m_bmBackground.isNull()) {
        return;
    }
    m_bmBackground = LoadBitmapFile(folder + QStringLiteral("/bg.bmp"));
    update();
}

void CDialogBarEx::SetupButton(CPictureButton* button, int id, const QString& file,
                               const QString& folder) {
    Q_UNUSED(id);
    button->LoadPicture(folder + file);
}

void CDialogBarEx::paintEvent(QPaintEvent* event) {
    if (m_bmBackground.isNull()) {
        QToolBar::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.drawPixmap(rect(), m_bmBackground);
    // Keep the grip, so the bar can still be dragged off and back.
    QStyleOptionToolBar option;
    initStyleOption(&option);
    if (option.features & QStyleOptionToolBar::Movable) {
        option.rect = style()->subElementRect(QStyle::SE_ToolBarHandle, &option, this);
        if (option.rect.isValid()) {
            style()->drawPrimitive(QStyle::PE_IndicatorToolBarHandle, &option, &painter, this);
        }
    }
}

void CDialogBarEx::closeEvent(QCloseEvent* event) {
    event->ignore();
}

}  // namespace tamsel
