// The New Task dialog: validation and its messages, what it writes back, the
// clipboard pre-fill, the rename box and the folder picker.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <vector>

#include "chrome/CPictureButton.h"
#include "dialogs/CNewTaskDlg.h"
#include "tasks/TaskMessageSeam.h"
#include "tasks/TaskTable.h"

using namespace tamsel;

namespace {

struct ShownMessage {
    std::string text;
    std::string caption;
    unsigned style;
};

class NewTaskDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        QGuiApplication::clipboard()->clear();
        previous = SetMessageBoxHandler(
            [this](const std::string& text, const std::string& caption, unsigned style) {
                messages.push_back({text, caption, style});
                return IDOK;
            });
        entry.m_strSaveFolder = folder.path().toStdString();
        entry.m_strUrl = "untouched url";
        entry.m_strRename = "untouched name";
    }
    void TearDown() override {
        SetMessageBoxHandler(previous);
        CNewTaskDlg::s_folderPicker = savedPicker;
    }

    // A dialog opened on `entry`, as the view opens it.
    std::unique_ptr<CNewTaskDlg> Open() {
        auto dialog = std::make_unique<CNewTaskDlg>();
        dialog->SetEntry(&entry);
        dialog->OnInitDialog();
        return dialog;
    }

    QTemporaryDir folder;
    TaskEntryStrings entry;
    std::vector<ShownMessage> messages;
    MessageBoxHandler previous;
    CNewTaskDlg::FolderPicker savedPicker = CNewTaskDlg::s_folderPicker;
};

TEST_F(NewTaskDialog, ValidationMessagesAndWhatIsWritten) {
    QFile existing(folder.filePath(QStringLiteral("Clip.flv")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();

    struct Case {
        const char* url;
        bool rename;
        const char* name;
        const char* message;  // null: accepted
        const char* storedUrl;
        const char* storedName;
    } cases[] = {
        {"", false, "", "The url address should not be empty.", "", ""},
        {"  \t ", false, "", "The url address should not be empty.", "", ""},
        {"see http://", false, "", "The url address invalid.", "", ""},
        {"HTTP://:no-host", false, "", "The url address invalid.", "", ""},
        {" www.example.com/watch?v=1 ", false, "", nullptr, "www.example.com/watch?v=1", ""},
        {"http://localhost:17603/sample/", false, "kept out", nullptr,
         "http://localhost:17603/sample/", ""},
        {"example.com/v", true, "   ", "Please fill in \"File name\".", "", ""},
        {"example.com/v", true, "a/b", "File name is invalid, please return.", "", ""},
        {"example.com/v", true, "x:y", "File name is invalid, please return.", "", ""},
        {"example.com/v", true, "Clip", "File name exist, please return.", "", ""},
        {"example.com/v", true, " Holiday ", nullptr, "example.com/v", "Holiday.flv"},
        {"example.com/v", true, "Clip.FLV", nullptr, "example.com/v", "Clip.FLV"},
        {"example.com/v", true, "a.flv.txt", nullptr, "example.com/v", "a.flv.txt.flv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.url) + " | " + c.name);
        entry.m_strUrl = "untouched url";
        entry.m_strRename = "untouched name";
        messages.clear();
        auto dialog = Open();
        dialog->m_editUrl->setText(QString::fromUtf8(c.url));
        dialog->m_editRename->setText(QString::fromUtf8(c.name));
        if (c.rename) {
            dialog->m_chkRename->click();
        }
        dialog->OnOK();
        if (c.message) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].text, c.message);
            EXPECT_EQ(messages[0].caption, "Message");
            EXPECT_EQ(messages[0].style, MB_OK | MB_ICONINFORMATION);
            EXPECT_NE(dialog->result(), QDialog::Accepted);
            EXPECT_EQ(entry.m_strUrl, "untouched url");
            EXPECT_EQ(entry.m_strRename, "untouched name");
            // The user's text stays in place.
            EXPECT_EQ(dialog->m_editUrl->text(), QString::fromUtf8(c.url));
        } else {
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(dialog->result(), QDialog::Accepted);
            EXPECT_EQ(entry.m_strUrl, c.storedUrl);
            EXPECT_EQ(entry.m_strRename, c.storedName);
            EXPECT_EQ(entry.m_strSaveFolder, folder.path().toStdString());
        }
    }
}

TEST_F(NewTaskDialog, RejectedNameKeepsTheFocusOnTheRenameBox) {
    auto dialog = Open();
    dialog->show();
    dialog->m_editUrl->setText(QStringLiteral("example.com/v"));
    dialog->m_chkRename->click();
    dialog->m_editRename->setText(QStringLiteral("bad|name"));
    dialog->m_editRename->setSelection(3, 5);  // "|name" selected
    dialog->OnOK();
    ASSERT_EQ(messages.size(), 1u);
    // The clear command removes the selected part only.
    EXPECT_EQ(dialog->m_editRename->text(), QStringLiteral("bad"));
    EXPECT_EQ(dialog->focusWidget(), dialog->m_editRename);
}

TEST(NewTaskDialogChecks, IsValidUrl) {
    struct Case {
        const char* url;
        bool valid;
    } cases[] = {
        {"http://example.com/watch?v=1", true},
        {"https://example.com/", true},
        {"example.com/watch", true},  // no scheme: checked with one put in front
        {"WWW.Example.COM", true},
        {"http://", false},
        {"see http://example.com", false},
        {"HTTP://", false},
        {"ftp://example.com/", true},  // "http://ftp://example.com/" names the host "ftp"
        {"ftp://http://example.com/", false},
        {"http//broken", true},  // reads as a host name once "http://" is in front
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CNewTaskDlg::IsValidUrl(c.url), c.valid) << c.url;
    }
}

TEST(NewTaskDialogChecks, FileNames) {
    for (const char* bad : {"a\\b", "a/b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b"}) {
        EXPECT_FALSE(CNewTaskDlg::IsValidFileName(bad)) << bad;
    }
    for (const char* good : {"clip.flv", "My clip [2].flv", "", ".flv", "naïve.flv"}) {
        EXPECT_TRUE(CNewTaskDlg::IsValidFileName(good)) << good;
    }
}

TEST(NewTaskDialogChecks, FileExistsWithAndWithoutTrailingSlash) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub.flv")));
    QFile file(dir.filePath(QStringLiteral("a.flv")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const std::string path = dir.path().toStdString();
    EXPECT_TRUE(CNewTaskDlg::FileExists(path, "a.flv"));
    EXPECT_TRUE(CNewTaskDlg::FileExists(path + "/", "a.flv"));
    EXPECT_TRUE(CNewTaskDlg::FileExists(path, "sub.flv"));  // a folder counts as well
    EXPECT_FALSE(CNewTaskDlg::FileExists(path, "b.flv"));
    EXPECT_FALSE(CNewTaskDlg::FileExists(path + "/missing", "a.flv"));
}

TEST_F(NewTaskDialog, OpensWithEntryFolderAndClipboardAddress) {
    struct Case {
        const char* clipboard;
        const char* url;
    } cases[] = {
        {"Look at HTTP://Example.com/v?x=1  ", "Look at HTTP://Example.com/v?x=1  "},
        {"http://a.example/", "http://a.example/"},
        {"https://secure.example/", "https://secure.example/"},
        {"see HTTPS://Secure.example/v", "see HTTPS://Secure.example/v"},
        {"ftp://files.example/", ""},
        {"no address here", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clipboard);
        QGuiApplication::clipboard()->setText(QString::fromUtf8(c.clipboard));
        auto dialog = Open();
        EXPECT_EQ(dialog->m_editUrl->text(), QString::fromUtf8(c.url));
        EXPECT_EQ(dialog->m_editSaveTo->text(), folder.path());
        EXPECT_TRUE(dialog->m_editSaveTo->isReadOnly());
        EXPECT_FALSE(dialog->m_chkRename->isChecked());
        EXPECT_TRUE(dialog->m_editRename->text().isEmpty());
    }
}

TEST_F(NewTaskDialog, OpensWithTheFocusInTheAddressBoxItsTextSelected) {
    QGuiApplication::clipboard()->setText(QStringLiteral("https://a.example/v"));
    struct Case {
        const char* initial;  // a dropped link, or none
        const char* shown;
    } cases[] = {{"", "https://a.example/v"},
                 {"http://dropped.example/", "http://dropped.example/"}};
    for (const Case& c : cases) {
        auto dialog = std::make_unique<CNewTaskDlg>();
        dialog->SetEntry(&entry);
        dialog->SetInitialUrl(c.initial);
        dialog->OnInitDialog();
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        EXPECT_EQ(dialog->focusWidget(), dialog->m_editUrl);
        EXPECT_EQ(dialog->m_editUrl->text(), QString::fromUtf8(c.shown));
        EXPECT_EQ(dialog->m_editUrl->selectedText(), QString::fromUtf8(c.shown));
        // Typing replaces the offered address; Enter still confirms.
        QTest::keyClicks(dialog->m_editUrl, QStringLiteral("example.com/typed"));
        EXPECT_EQ(dialog->m_editUrl->text(), QStringLiteral("example.com/typed"));
        QTest::keyClick(dialog->m_editUrl, Qt::Key_Return);
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(entry.m_strUrl, "example.com/typed");
    }
}

TEST_F(NewTaskDialog, RenameBoxFollowsTheCheckBoxAndKeepsItsText) {
    auto dialog = Open();
    EXPECT_FALSE(dialog->m_editRename->isEnabled());
    EXPECT_FALSE(dialog->m_lblRename->isEnabled());
    dialog->m_chkRename->click();
    EXPECT_TRUE(dialog->m_editRename->isEnabled());
    EXPECT_TRUE(dialog->m_lblRename->isEnabled());
    dialog->m_editRename->setText(QStringLiteral("Clip"));
    dialog->m_chkRename->click();
    EXPECT_FALSE(dialog->m_editRename->isEnabled());
    EXPECT_FALSE(dialog->m_lblRename->isEnabled());
    EXPECT_EQ(dialog->m_editRename->text(), QStringLiteral("Clip"));

    dialog->m_editUrl->setText(QStringLiteral("example.com/v"));
    dialog->OnOK();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(entry.m_strRename, "");
}

TEST_F(NewTaskDialog, BrowseAlwaysOpensOnTheFolderOfferedAtTheStart) {
    std::vector<QString> openedOn;
    std::vector<QString> titles;
    QStringList answers = {QStringLiteral("/picked/one"), QString(), QStringLiteral("/two")};
    CNewTaskDlg::s_folderPicker = [&](QWidget*, const QString& title, const QString& start) {
        titles.push_back(title);
        openedOn.push_back(start);
        return answers.takeFirst();
    };
    auto dialog = Open();
    dialog->m_btnBrowse->click();
    EXPECT_EQ(dialog->m_editSaveTo->text(), QStringLiteral("/picked/one"));
    dialog->m_btnBrowse->click();  // cancelled: nothing changes
    EXPECT_EQ(dialog->m_editSaveTo->text(), QStringLiteral("/picked/one"));
    dialog->OnBrowse();
    EXPECT_EQ(dialog->m_editSaveTo->text(), QStringLiteral("/two"));
    ASSERT_EQ(openedOn.size(), 3u);
    for (std::size_t i = 0; i < openedOn.size(); ++i) {
        EXPECT_EQ(openedOn[i], folder.path());
        EXPECT_EQ(titles[i], QStringLiteral("Browser"));
    }
    // The picked folder is what OK writes back.
    dialog->m_editUrl->setText(QStringLiteral("example.com/v"));
    dialog->OnOK();
    EXPECT_EQ(entry.m_strSaveFolder, "/two");
}

TEST_F(NewTaskDialog, DoModalAnswersOkOrCancel) {
    QMainWindow frame;
    frame.show();
    {
        CNewTaskDlg dialog;
        dialog.SetEntry(&entry);
        QWidget* owner = nullptr;
        QTimer::singleShot(0, &dialog, [&] {
            owner = dialog.parentWidget();
            dialog.m_editUrl->setText(QStringLiteral("example.com/v"));
            QTest::mouseClick(dialog.m_btnOK, Qt::LeftButton);
        });
        EXPECT_EQ(dialog.DoModal(), IDOK);
        EXPECT_EQ(entry.m_strUrl, "example.com/v");
        // Opened without a parent, it belongs to the main window.
        EXPECT_EQ(owner, &frame);
        EXPECT_EQ(dialog.parentWidget(), nullptr);
    }
    {
        entry.m_strUrl = "untouched url";
        CNewTaskDlg dialog;
        dialog.SetEntry(&entry);
        QTimer::singleShot(0, &dialog, [&] {
            dialog.m_editUrl->setText(QStringLiteral("example.com/other"));
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        EXPECT_EQ(entry.m_strUrl, "untouched url");
    }
}

TEST_F(NewTaskDialog, LayoutFollowsTheTemplate) {
    auto dialog = Open();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("New Task"));
    EXPECT_EQ(dialog->m_lblExample->text(), QStringLiteral("http://localhost:17603/sample/"));
    EXPECT_EQ(dialog->m_chkRename->text(), QStringLiteral("  Rename file"));
    EXPECT_TRUE(dialog->m_btnOK->isDefault());
    // Tab order: OK, Cancel, URL, Save To, Browse, Rename, the check box.
    const QList<QWidget*> order = {dialog->m_btnOK,      dialog->m_btnCancel, dialog->m_editUrl,
                                   dialog->m_editSaveTo, dialog->m_btnBrowse, dialog->m_editRename,
                                   dialog->m_chkRename};
    const auto nextTabStop = [](QWidget* widget) {
        do {
            widget = widget->nextInFocusChain();
        } while (!(widget->focusPolicy() & Qt::TabFocus));
        return widget;
    };
    for (int i = 0; i + 1 < order.size(); ++i) {
        EXPECT_EQ(nextTabStop(order[i]), order[i + 1]) << i;
    }
    // Every control lies inside the dialog.
    for (QWidget* control : order) {
        EXPECT_TRUE(dialog->rect().contains(control->geometry())) << control->objectName().data();
    }
    // URL and Save To share their left edge; Browse sits right of Save To.
    EXPECT_EQ(dialog->m_editUrl->x(), dialog->m_editSaveTo->x());
    EXPECT_GT(dialog->m_btnBrowse->x(), dialog->m_editSaveTo->geometry().right());
}

}  // namespace
