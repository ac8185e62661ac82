// The skin engine: sections of style sheets applied by object name, dialogs skinned
// as they appear, and a missing or broken file that changes nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "UiTestSupport.h"
#include "chrome/SkinFile.h"
#include "chrome/SkinMagic.h"

using namespace tamsel;

namespace {

const char* kGoodSkin =
    "; test skin\n"
    "\n"
    "[MainFrame]\n"
    "QMainWindow { background: #010203; }\n"
    "[Dialog]\n"
    "QDialog { background: #040506; }\n"
    "[ListCtrl]\n"
    "QTableView { gridline-color: #070809; }\n"
    "[PopupMenu]\n"
    "QMenu { background: #0a0b0c; } /* comment } with a brace */\n";

class SkinEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSkin();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(InitSkinMagicLib(qApp));
    }
    void TearDown() override { ResetSkin(); }

    QString Write(const char* name, const QByteArray& text) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    }

    QTemporaryDir dir;
};

TEST_F(SkinEngine, SectionsGoToTheirWindowsControlsAndDialogs) {
    ASSERT_TRUE(LoadSkinFile(Write("good.smf", kGoodSkin)));
    QMainWindow frame;
    EXPECT_TRUE(SetWindowSkin(&frame, QStringLiteral("MainFrame")));
    EXPECT_EQ(frame.styleSheet(), QStringLiteral("QMainWindow { background: #010203; }"));
    QTableView list;
    EXPECT_TRUE(SetSingleControlSkin(&list, kSkinControlList));
    EXPECT_TRUE(list.styleSheet().contains(QStringLiteral("#070809")));
    EXPECT_FALSE(SetSingleControlSkin(&list, 9));  // no [Control9] section
    EXPECT_FALSE(SetWindowSkin(&frame, QStringLiteral("NoSuchObject")));
    EXPECT_TRUE(frame.styleSheet().contains(QStringLiteral("#010203")));

    EXPECT_TRUE(SetDialogSkin(QStringLiteral("Dialog")));
    QDialog dialog;
    QDialog ownStyle;
    ownStyle.setStyleSheet(QStringLiteral("QDialog { background: red; }"));
    QMessageBox box(QMessageBox::Information, QStringLiteral("Message"), QStringLiteral("hi"));
    for (QWidget* w : {static_cast<QWidget*>(&dialog), static_cast<QWidget*>(&ownStyle),
                       static_cast<QWidget*>(&box)}) {
        w->show();
    }
    EXPECT_TRUE(dialog.styleSheet().contains(QStringLiteral("#040506")));
    EXPECT_TRUE(box.styleSheet().contains(QStringLiteral("#040506")));
    EXPECT_EQ(ownStyle.styleSheet(), QStringLiteral("QDialog { background: red; }"));
    // A plain widget window is no dialog.
    QWidget plain;
    plain.show();
    EXPECT_TRUE(plain.styleSheet().isEmpty());
}

TEST_F(SkinEngine, MissingOrBrokenFileChangesNothing) {
    struct Case {
        const char* name;
        QByteArray text;
    } cases[] = {
        {"missing.smf", QByteArray()},
        {"empty.smf", ""},
        {"comments-only.smf", "; nothing\n\n"},
        {"text-first.smf", "QWidget { color: red; }\n[MainFrame]\n"},
        {"open-brace.smf", "[MainFrame]\nQMainWindow { background: red;\n"},
        {"close-brace.smf", "[MainFrame]\nQMainWindow } background: red; {\n"},
        {"open-comment.smf", "[MainFrame]\nQMainWindow { } /* never closed\n"},
        {"open-string.smf", "[MainFrame]\nQMainWindow { font-family: \"Sans; }\n"},
        {"twice.smf", "[MainFrame]\nQWidget {}\n[MainFrame]\nQWidget {}\n"},
        {"no-name.smf", "[ ]\nQWidget {}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(LoadSkinFile(Write("good.smf", kGoodSkin)));
        const QString path = c.name == std::string("missing.smf")
                                 ? dir.filePath(QStringLiteral("missing.smf"))
                                 : Write(c.name, c.text);
        EXPECT_FALSE(LoadSkinFile(path));
        QMainWindow frame;
        QTableView list;
        EXPECT_FALSE(SetWindowSkin(&frame, QStringLiteral("MainFrame")));
        EXPECT_FALSE(SetDialogSkin(QStringLiteral("Dialog")));
        EXPECT_FALSE(SetSingleControlSkin(&list, kSkinControlList));
        EXPECT_TRUE(frame.styleSheet().isEmpty());
        EXPECT_TRUE(list.styleSheet().isEmpty());
        QDialog dialog;
        dialog.show();
        EXPECT_TRUE(dialog.styleSheet().isEmpty());
    }
}

TEST_F(SkinEngine, NothingWorksBeforeTheLibraryIsInitialised) {
    EXPECT_FALSE(InitSkinMagicLib(nullptr));
    ASSERT_TRUE(LoadSkinFile(Write("good.smf", kGoodSkin)));
    QWidget window;
    EXPECT_FALSE(SetWindowSkin(nullptr, QStringLiteral("MainFrame")));
    EXPECT_FALSE(SetSingleControlSkin(nullptr, kSkinControlList));
    EXPECT_TRUE(SetWindowSkin(&window, QStringLiteral("MainFrame")));
}

TEST_F(SkinEngine, PopupMenuIsStyledAndReturnsTheChoice) {
    QMenu menu;
    menu.addAction(QStringLiteral("New"));
    QAction* stop = menu.addAction(QStringLiteral("Stop"));
    const auto choose = [&](QAction* action) {
        QTimer::singleShot(0, &menu, [&menu, action] {
            if (action) {
                menu.setActiveAction(action);
                QTest::keyClick(&menu, Qt::Key_Return);
            } else {
                QTest::keyClick(&menu, Qt::Key_Escape);
            }
        });
    };
    // Without a skin the plain menu still works.
    choose(stop);
    EXPECT_EQ(TrackSkinPopupMenu(&menu, TPM_RIGHTBUTTON, 40, 40, nullptr), stop);
    EXPECT_TRUE(menu.styleSheet().isEmpty());

    ASSERT_TRUE(LoadSkinFile(Write("good.smf", kGoodSkin)));
    QWidget owner;
    choose(nullptr);
    EXPECT_EQ(TrackSkinPopupMenu(&menu, TPM_RIGHTBUTTON, 40, 40, &owner), nullptr);
    EXPECT_TRUE(menu.styleSheet().contains(QStringLiteral("#0a0b0c")));
    EXPECT_EQ(TrackSkinPopupMenu(nullptr, TPM_RIGHTBUTTON, 0, 0, &owner), nullptr);
}

// The shipped skin must be one Qt reads without complaint, section by section.
TEST_F(SkinEngine, ShippedBlueSkinIsComplete) {
    SkinFile skin;
    QString error;
    ASSERT_TRUE(ReadSkinFile(BuildDir() + QStringLiteral("/blue.smf"), skin, &error))
        << error.toStdString();
    for (const char* name :
         {kSkinMainFrame, kSkinDialog, kSkinListCtrl, kSkinPopupMenu, kSkinCommandBar}) {
        EXPECT_TRUE(skin.sections.contains(QString::fromLatin1(name))) << name;
    }
    EXPECT_FALSE(skin.sections.value(kSkinDialog).contains(QStringLiteral("${SKIN_DIR}")));

    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type != QtDebugMsg &&
                message.contains(QStringLiteral("style"), Qt::CaseInsensitive)) {
                warnings.append(message);
            }
        });
    ASSERT_TRUE(LoadSkinFile(BuildDir() + QStringLiteral("/blue.smf")));
    QMainWindow frame;
    frame.menuBar()->addMenu(QStringLiteral("&File"))->addAction(QStringLiteral("&New"));
    frame.statusBar()->showMessage(QStringLiteral("Ready"));
    auto* list = new QTableView(&frame);
    frame.setCentralWidget(list);
    EXPECT_TRUE(SetWindowSkin(&frame, QStringLiteral("MainFrame")));
    EXPECT_TRUE(SetSingleControlSkin(list, kSkinControlList));
    EXPECT_TRUE(SetDialogSkin(QStringLiteral("Dialog")));
    frame.show();
    QDialog dialog;
    new QLineEdit(&dialog);
    new QCheckBox(QStringLiteral("Rename file"), &dialog);
    new QPushButton(QStringLiteral("OK"), &dialog);
    dialog.show();
    QMenu popup;
    popup.setStyleSheet(SkinSection(QStringLiteral("PopupMenu")));
    popup.addAction(QStringLiteral("Start"));
    popup.ensurePolished();
    frame.grab();
    dialog.grab();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(u'\n').toStdString();
}

}  // namespace
