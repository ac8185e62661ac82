#pragma once
// The New Task dialog: a page address, the folder to save into and, optionally, a
// file name of the user's own. It validates and writes the three task-entry strings
// back only when everything passes.

#include <QDialog>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tamsel {

class CPictureButton;
struct TaskEntryStrings;

class CNewTaskDlg : public QDialog {
    Q_OBJECT
public:
    // Picks a folder: parent, title, folder to open on. Returns the chosen folder,
    // or an empty string when the user cancels. Replaceable (tests).
    using FolderPicker = std::function<QString(QWidget*, const QString&, const QString&)>;
    static FolderPicker s_folderPicker;

    // The example page address shown under the URL box.
    static constexpr const char* kExampleUrl = "http://localhost:17603/sample/";

    explicit CNewTaskDlg(QWidget* parent = nullptr);

    // The block the dialog reads its folder from and writes its result to; null is ignored.
    void SetEntry(TaskEntryStrings* entry);
    // An address to open with (a dropped link) in place of the clipboard's.
    void SetInitialUrl(const std::string& url) { m_strInitialUrl = url; }
    // Fills the controls and runs the dialog; IDOK or IDCANCEL.
    int DoModal();

    // Fills the controls as the dialog opens (DoModal calls it).
    void OnInitDialog();
    void InitControls();
    void EnableRename(bool enable);
    void OnRenameClicked();
    void OnBrowse();
    void OnOK();
    void OnCancel();

    static bool IsValidUrl(const std::string& url);
    static bool IsValidFileName(const std::string& name);
    static bool FileExists(const std::string& folder, const std::string& name);
    std::string GetClipboardUrl();

    CPictureButton* m_btnBrowse = nullptr;
    QLineEdit* m_editRename = nullptr;
    QCheckBox* m_chkRename = nullptr;
    QLineEdit* m_editSaveTo = nullptr;
    QLineEdit* m_editUrl = nullptr;
    TaskEntryStrings* m_pEntry = nullptr;

    // The remaining controls, for layout and tests.
    QPushButton* m_btnOK = nullptr;
    QPushButton* m_btnCancel = nullptr;
    QLabel* m_lblRename = nullptr;
    QLabel* m_lblExample = nullptr;

protected:
    void reject() override;

private:
    void RejectInput(const char* message);

    std::string m_strInitialUrl;
};

}  // namespace tamsel
