#pragma once
// Asks for the user name and password that a media server or proxy demands.

#include <QDialog>

class QLineEdit;

namespace tamsel {

class CCredentialsDlg : public QDialog {
    Q_OBJECT
public:
    // `host` and `realm` name who asks (a proxy names no host); `plainHttp` warns that
    // the password would cross the network unencrypted.
    CCredentialsDlg(QWidget* parent, const QString& host, const QString& realm, bool proxy,
                    bool plainHttp);
    // The question in words, as shown.
    QString Question() const;
    QString User() const;
    QString Password() const;

private:
    QString m_strQuestion;
    QLineEdit* m_editUser;
    QLineEdit* m_editPassword;
};

}  // namespace tamsel
