#pragma once

#include <QDialog>

namespace tamsel {

// "About": the application icon and the line "Tamsel 2.0".
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace tamsel
