#include "dialogs/CAboutDlg.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace tamsel {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    auto* line = new QLabel(QStringLiteral("Tamsel 2.0"), this);
    line->setObjectName(QStringLiteral("AboutText"));
    line->setTextFormat(Qt::PlainText);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(line, 0, 1, Qt::AlignVCenter);
    layout->addWidget(ok, 0, 2, Qt::AlignTop);
    layout->setColumnStretch(1, 1);
    setFixedSize(sizeHint().expandedTo(QSize(350, 110)));
}

}  // namespace tamsel
