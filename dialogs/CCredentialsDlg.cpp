#include "dialogs/CCredentialsDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tamsel {

CCredentialsDlg::CCredentialsDlg(QWidget* parent, const QString& url, bool proxy)
    : QDialog(parent), m_editUser(new QLineEdit(this)), m_editPassword(new QLineEdit(this)) {
    setWindowTitle(proxy ? QStringLiteral("Proxy Authentication")
                         : QStringLiteral("Authentication"));
    m_editPassword->setEchoMode(QLineEdit::Password);

    auto* intro = new QLabel(
        (proxy ? QStringLiteral("The proxy asks for a user name and password to fetch:\n")
               : QStringLiteral("The server asks for a user name and password for:\n")) +
            url,
        this);
    intro->setWordWrap(true);
    intro->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("User name"), m_editUser);
    form->addRow(QStringLiteral("Password"), m_editPassword);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

QString CCredentialsDlg::User() const {
    return m_editUser->text();
}

QString CCredentialsDlg::Password() const {
    return m_editPassword->text();
}

}  // namespace tamsel
