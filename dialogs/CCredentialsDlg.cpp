#include "dialogs/CCredentialsDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tamsel {

CCredentialsDlg::CCredentialsDlg(QWidget* parent, const QString& host, const QString& realm,
                                 bool proxy, bool plainHttp)
    : QDialog(parent), m_editUser(new QLineEdit(this)), m_editPassword(new QLineEdit(this)) {
    setWindowTitle(proxy ? QStringLiteral("Proxy Authentication")
                         : QStringLiteral("Authentication"));
    m_editPassword->setEchoMode(QLineEdit::Password);

    m_strQuestion =
        proxy ? QStringLiteral("The proxy asks for a user name and password.")
              : QStringLiteral("The server %1 asks for a user name and password.").arg(host);
    if (!realm.isEmpty()) {
        m_strQuestion += QStringLiteral("\nIt calls the protected area \"%1\".").arg(realm);
    }
    if (plainHttp) {
        m_strQuestion += QStringLiteral(
            "\nThis connection is not encrypted: the password travels over plain http, "
            "readable by anyone on the way.");
    }
    // Host and realm come from the server: shown as text, never as markup.
    auto* intro = new QLabel(m_strQuestion, this);
    intro->setTextFormat(Qt::PlainText);
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

QString CCredentialsDlg::Question() const {
    return m_strQuestion;
}

QString CCredentialsDlg::User() const {
    return m_editUser->text();
}

QString CCredentialsDlg::Password() const {
    return m_editPassword->text();
}

}  // namespace tamsel
