#include "dialogs/CNewTaskDlg.h"

#include "download/FileNaming.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "base/AsciiText.h"
#include "chrome/BitmapFiles.h"
#include "chrome/CPictureButton.h"
#include "chrome/DialogUnits.h"
#include "tasks/TaskMessageSeam.h"
#include "tasks/TaskTable.h"

#include "base/UrlParse.h"

namespace tamsel {

namespace {

QString DefaultFolderPicker(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

}  // namespace

CNewTaskDlg::FolderPicker CNewTaskDlg::s_folderPicker = DefaultFolderPicker;

CNewTaskDlg::CNewTaskDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("New Task"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.X(272), du.Y(153));

    // Created in template order, which is also the tab order.
    m_btnOK = new QPushButton(QStringLiteral("OK"), this);
    m_btnOK->setGeometry(du.Rect(76, 129, 50, 16));
    m_btnOK->setDefault(true);
    m_btnOK->setAutoDefault(true);
    m_btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_btnCancel->setGeometry(du.Rect(146, 129, 50, 16));
    m_btnCancel->setAutoDefault(false);

    auto* addressGroup = new QGroupBox(this);
    addressGroup->setGeometry(du.Rect(9, 3, 253, 64));
    auto* urlLabel = new QLabel(QStringLiteral("URL"), this);
    urlLabel->setGeometry(du.Rect(21, 14, 14, 8));
    auto* saveToLabel = new QLabel(QStringLiteral("Save To"), this);
    saveToLabel->setGeometry(du.Rect(21, 44, 26, 8));

    m_editUrl = new QLineEdit(this);
    m_editUrl->setObjectName(QStringLiteral("IDC_URL"));
    m_editUrl->setGeometry(du.Rect(54, 11, 196, 14));
    m_editSaveTo = new QLineEdit(this);
    m_editSaveTo->setObjectName(QStringLiteral("IDC_SAVE_TO"));
    m_editSaveTo->setGeometry(du.Rect(54, 42, 176, 14));
    m_editSaveTo->setReadOnly(true);
    m_btnBrowse = new CPictureButton(QStringLiteral("Browse"), this);
    m_btnBrowse->setObjectName(QStringLiteral("IDC_BROWSE"));
    m_btnBrowse->setToolTip(QStringLiteral("Browse"));
    m_btnBrowse->setGeometry(du.Rect(233, 42, 17, 14));

    auto* renameGroup = new QGroupBox(QStringLiteral(" "), this);
    renameGroup->setGeometry(du.Rect(9, 84, 253, 38));
    m_editRename = new QLineEdit(this);
    m_editRename->setObjectName(QStringLiteral("IDC_RENAME"));
    m_editRename->setGeometry(du.Rect(54, 99, 196, 14));
    // The check box sits on the group's top edge as its title.
    m_chkRename = new QCheckBox(QStringLiteral("  Rename file"), this);
    m_chkRename->setObjectName(QStringLiteral("IDC_RENAME_CHECK"));
    m_chkRename->setGeometry(du.Rect(15, 84, 53, 10));
    m_chkRename->setAutoFillBackground(true);
    m_chkRename->adjustSize();
    m_chkRename->move(du.X(15), du.Y(84) + (du.Y(10) - m_chkRename->height()) / 2);
    m_lblRename = new QLabel(QStringLiteral("Rename"), this);
    m_lblRename->setObjectName(QStringLiteral("IDC_RENAME_LABEL"));
    m_lblRename->setGeometry(du.Rect(21, 101, 27, 8));

    m_lblExample = new QLabel(QString::fromLatin1(kExampleUrl), this);
    m_lblExample->setTextFormat(Qt::PlainText);
    m_lblExample->setGeometry(du.Rect(55, 28, 210, 9));

    // Static texts sized in dialog units may be a little short for this font.
    for (QLabel* label : {urlLabel, saveToLabel, m_lblRename}) {
        label->setMinimumWidth(label->sizeHint().width());
        label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

    setTabOrder(m_btnOK, m_btnCancel);
    setTabOrder(m_btnCancel, m_editUrl);
    setTabOrder(m_editUrl, m_editSaveTo);
    setTabOrder(m_editSaveTo, m_btnBrowse);
    setTabOrder(m_btnBrowse, m_editRename);
    setTabOrder(m_editRename, m_chkRename);

    connect(m_btnOK, &QPushButton::clicked, this, &CNewTaskDlg::OnOK);
    connect(m_btnCancel, &QPushButton::clicked, this, &CNewTaskDlg::OnCancel);
    connect(m_btnBrowse, &QAbstractButton::clicked, this, &CNewTaskDlg::OnBrowse);
    connect(m_chkRename, &QAbstractButton::clicked, this, &CNewTaskDlg::OnRenameClicked);
}

void CNewTaskDlg::SetEntry(TaskEntryStrings* entry) {
    if (entry) {
        m_pEntry = entry;
    }
}

int CNewTaskDlg::DoModal() {
    // Without a parent of its own the dialog belongs to the main window, so it opens
    // over it and shares its look.
    const bool hadParent = parentWidget() != nullptr;
    if (!hadParent) {
        QWidget* owner = QApplication::activeWindow();
        if (!owner) {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (qobject_cast<QMainWindow*>(window) && window->isVisible()) {
                    owner = window;
                    break;
                }
            }
        }
        if (owner && owner != this) {
            setParent(owner, windowFlags());
        }
    }
    OnInitDialog();
    const int answer = exec() == QDialog::Accepted ? IDOK : IDCANCEL;
    // Hand the borrowed parent back: the caller owns the dialog, not the window.
    if (!hadParent) {
        setParent(nullptr, windowFlags());
    }
    return answer;
}

void CNewTaskDlg::OnInitDialog() {
    InitControls();
    EnableRename(false);
    // Typing goes into the address box at once and replaces what was filled in; Enter
    // still confirms through the default button.
    m_editUrl->setFocus(Qt::OtherFocusReason);
    m_editUrl->selectAll();
}

void CNewTaskDlg::InitControls() {
    const std::string url = m_strInitialUrl.empty() ? GetClipboardUrl() : m_strInitialUrl;
    if (!url.empty()) {
        m_editUrl->setText(QString::fromStdString(url));
    }
    if (m_pEntry) {
        m_editSaveTo->setText(QString::fromStdString(m_pEntry->m_strSaveFolder));
    }
    m_btnBrowse->LoadPicture(GetButtonSkinFolder() + QStringLiteral("/browse.bmp"));
}

std::string CNewTaskDlg::GetClipboardUrl() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
        return std::string();
    }
    const std::string text = clipboard->text().toStdString();
    const std::string lower = AsciiLower(text);
    const bool address =
        lower.find("http://") != std::string::npos || lower.find("https://") != std::string::npos;
    return address ? text : std::string();
}

void CNewTaskDlg::EnableRename(bool enable) {
    m_lblRename->setEnabled(enable);
    m_editRename->setEnabled(enable);
}

void CNewTaskDlg::OnRenameClicked() {
    const bool ticked = m_chkRename->isChecked();
    m_chkRename->setChecked(ticked);
    EnableRename(ticked);
}

void CNewTaskDlg::OnBrowse() {
    // Always opens on the folder offered when the dialog opened.
    const QString start = m_pEntry ? QString::fromStdString(m_pEntry->m_strSaveFolder) : QString();
    const QString picked =
        s_folderPicker ? s_folderPicker(this, QStringLiteral("Browser"), start) : QString();
    if (!picked.isEmpty()) {
        m_editSaveTo->setText(picked);
    }
}

void CNewTaskDlg::RejectInput(const char* message) {
    ShowMessageBox(message, "Message", MB_OK | MB_ICONINFORMATION);
}

void CNewTaskDlg::OnOK() {
    const std::string url = TrimBlanks(m_editUrl->text().toStdString());
    if (url.empty()) {
        RejectInput("The url address should not be empty.");
        return;
    }
    if (!IsValidUrl(url)) {
        RejectInput("The url address invalid.");
        return;
    }
    const std::string folder = TrimBlanks(m_editSaveTo->text().toStdString());
    std::string name;
    if (m_chkRename->isChecked()) {
        name = TrimBlanks(m_editRename->text().toStdString());
        if (name.empty()) {
            RejectInput("Please fill in \"File name\".");
            m_editRename->setFocus(Qt::OtherFocusReason);
            return;
        }
        // A name that names its container keeps it; any other gets the default.
        if (!HasVideoExtension(name)) {
            name += ".flv";
        }
        const char* problem = nullptr;
        if (!IsValidFileName(name)) {
            problem = "File name is invalid, please return.";
        } else if (name.size() > kMaxFileNameBytes) {
            problem = "File name is too long: at most 255 bytes, please return.";
        } else if (FileExists(folder, name)) {
            problem = "File name exist, please return.";
        }
        if (problem) {
            RejectInput(problem);
            // Only a selection is cleared, as the edit's clear command does.
            if (m_editRename->hasSelectedText()) {
                m_editRename->insert(QString());
            }
            m_editRename->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    if (m_pEntry) {
        m_pEntry->m_strUrl = url;
        m_pEntry->m_strSaveFolder = folder;
        m_pEntry->m_strRename = name;
    }
    done(QDialog::Accepted);
}

void CNewTaskDlg::OnCancel() {
    done(QDialog::Rejected);
}

void CNewTaskDlg::reject() {
    OnCancel();
}

bool CNewTaskDlg::IsValidUrl(const std::string& url) {
    return IsValidTaskUrl(url);
}

bool CNewTaskDlg::IsValidFileName(const std::string& name) {
    return name.find_first_of("\\/:*?\"<>|") == std::string::npos;
}

bool CNewTaskDlg::FileExists(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    path += name;
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(path), error);
}

}  // namespace tamsel
