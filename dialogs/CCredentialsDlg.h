#pragma once
// Asks for the user name and password that a media server or proxy demands.

#include <QDialog>

class QLineEdit;

namespace tamsel {

class CCredentialsDlg : public QDialog {
    Q_OBJECT
public:
    CCredentialsDlg(QWidget* parent, const QString& url, bool proxy);
    QString User() const;
    QString Password() const;

private:
    QLineEdit* m_editUser;
    QLineEdit* m_editPassword;
};

}  // namespace tamsel
