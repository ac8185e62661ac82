#include "chrome/SkinMagic.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMenu>
#include <QPointer>

#include "chrome/SkinFile.h"

namespace tamsel {

namespace {

// Marks dialogs whose style sheet came from the skin, so a later skin may replace
// it while a style sheet of the dialog's own is never touched.
constexpr const char* kSkinnedProperty = "tamselSkinned";

class DialogSkinner : public QObject {
public:
    using QObject::QObject;
    QString styleSheet;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish && !styleSheet.isEmpty()) {
            auto* dialog = qobject_cast<QDialog*>(watched);
            if (dialog && dialog->isWindow() &&
                (dialog->styleSheet().isEmpty() || dialog->property(kSkinnedProperty).toBool())) {
                dialog->setProperty(kSkinnedProperty, true);
                dialog->setStyleSheet(styleSheet);
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

struct SkinEngine {
    QPointer<QApplication> app;
    QPointer<DialogSkinner> dialogSkinner;
    SkinFile skin;
    bool loaded = false;
};

SkinEngine& Engine() {
    static SkinEngine engine;
    return engine;
}

bool Ready() {
    return Engine().app && Engine().loaded;
}

}  // namespace

bool InitSkinMagicLib(QApplication* app) {
    if (!app) {
        return false;
    }
    SkinEngine& engine = Engine();
    if (engine.app != app) {
        engine = SkinEngine{};
        engine.app = app;
    }
    return true;
}

bool LoadSkinFile(const QString& path) {
    SkinEngine& engine = Engine();
    if (!engine.app) {
        return false;
    }
    SkinFile skin;
    if (!ReadSkinFile(path, skin)) {
        ResetSkin();
        return false;
    }
    engine.skin = std::move(skin);
    engine.loaded = true;
    return true;
}

QString SkinSection(const QString& skinObject) {
    return Ready() ? Engine().skin.sections.value(skinObject) : QString();
}

bool SetWindowSkin(QWidget* window, const QString& skinObject) {
    if (!window || !Ready() || !Engine().skin.sections.contains(skinObject)) {
        return false;
    }
    window->setStyleSheet(SkinSection(skinObject));
    return true;
}

bool SetDialogSkin(const QString& skinObject) {
    SkinEngine& engine = Engine();
    if (!Ready() || !engine.skin.sections.contains(skinObject)) {
        return false;
    }
    if (!engine.dialogSkinner) {
        engine.dialogSkinner = new DialogSkinner(engine.app);
        engine.app->installEventFilter(engine.dialogSkinner);
    }
    engine.dialogSkinner->styleSheet = SkinSection(skinObject);
    return true;
}

bool SetSingleControlSkin(QWidget* control, int value) {
    const QString section = value == kSkinControlList ? QString::fromLatin1(kSkinListCtrl)
                                                      : QStringLiteral("Control%1").arg(value);
    if (!control || !Ready() || !Engine().skin.sections.contains(section)) {
        return false;
    }
    control->setStyleSheet(SkinSection(section));
    return true;
}

QAction* TrackSkinPopupMenu(QMenu* menu, unsigned flags, int x, int y, QWidget* owner) {
    Q_UNUSED(flags);
    Q_UNUSED(owner);
    if (!menu) {
        return nullptr;
    }
    const QString css = SkinSection(QString::fromLatin1(kSkinPopupMenu));
    if (!css.isEmpty()) {
        menu->setStyleSheet(css);
    }
    return menu->exec(QPoint(x, y));
}

void ResetSkin() {
    SkinEngine& engine = Engine();
    engine.skin = SkinFile{};
    engine.loaded = false;
    if (engine.dialogSkinner) {
        engine.dialogSkinner->styleSheet.clear();
    }
}

}  // namespace tamsel
