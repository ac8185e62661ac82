#pragma once

namespace tamsel {

// Command identifiers shared by the menus, the command bar, the context menu and the view.

inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_EDIT_SELECT_ALL = 57642;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_TASK_START = 32771;
inline constexpr int ID_TASK_STOP = 32772;
inline constexpr int ID_TASK_DELETE = 32773;
inline constexpr int ID_TASK_DELETE_FINISHED = 32774;
inline constexpr int ID_CONVERT = 32777;
inline constexpr int ID_OPEN_TARGET = 32787;
inline constexpr int IDC_TASK_LIST = 32783;

}  // namespace tamsel
