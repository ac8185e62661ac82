#pragma once
// A small skin engine behind the six calls the program makes of its skin library.
//
// A skin file is a set of named sections of Qt style-sheet text, one per skin
// object (see SkinFile.h for the format). The engine only ever sets style sheets:
// without a skin, or with a broken one, every call returns false and the program
// keeps the plain look of the platform style.

#include <QString>

class QAction;
class QApplication;
class QMenu;
class QWidget;

namespace tamsel {

// Skin object names the program uses.
inline constexpr const char* kSkinMainFrame = "MainFrame";
inline constexpr const char* kSkinDialog = "Dialog";
inline constexpr const char* kSkinListCtrl = "ListCtrl";
inline constexpr const char* kSkinPopupMenu = "PopupMenu";
inline constexpr const char* kSkinCommandBar = "CommandBar";

// The control kind the task list is skinned as (SetSingleControlSkin).
inline constexpr int kSkinControlList = 3;
// TrackSkinPopupMenu flag as the view passes it; the menu tracks either button.
inline constexpr unsigned TPM_RIGHTBUTTON = 0x2;

// Binds the engine to the application. Must come first; false for a null app.
bool InitSkinMagicLib(QApplication* app);

// Reads and checks a skin file. On success it becomes the current skin; on failure
// the engine has no skin and the calls below return false without changing anything.
bool LoadSkinFile(const QString& path);

// Gives a top-level window the style sheet of the named skin object.
bool SetWindowSkin(QWidget* window, const QString& skinObject);

// Every dialog and message box shown from now on gets the named section (a dialog
// that already carries a style sheet of its own is left alone).
bool SetDialogSkin(const QString& skinObject);

// Skins one child control. `value` is the control kind: kSkinControlList uses the
// "ListCtrl" section; any other kind n uses a section named "Control<n>".
bool SetSingleControlSkin(QWidget* control, int value);

// Shows the popup menu at global (x, y) in the look of the "PopupMenu" section (the
// plain look when there is none) and returns the chosen action, or null. The caller
// triggers it. `owner` is the window the choice is for; the menu keeps its parent.
QAction* TrackSkinPopupMenu(QMenu* menu, unsigned flags, int x, int y, QWidget* owner);

// The style sheet of a section of the current skin; empty without a skin or section.
QString SkinSection(const QString& skinObject);

// Drops the current skin and stops skinning dialogs (tests, and a failed reload).
void ResetSkin();

}  // namespace tamsel
