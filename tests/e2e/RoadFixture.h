#pragma once
// The real main frame and view, the real extraction service and a video site, all on
// loopback. Questions are answered through the message-box seam.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "chrome/CommandIds.h"
#include "dialogs/CNewTaskDlg.h"
#include "service/ExtractionService.h"
#include "service/ServiceContract.h"
#include "tasks/TaskMessageSeam.h"
#include "tests/support/QtTestEnv.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"
#include "view/CQuilletView.h"

using namespace tamsel;

class RoadFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ServiceOptions options;
        options.sampleBytesPerSecond = 0;
        service = std::make_unique<ExtractionService>(options);
        ASSERT_TRUE(service->Start(0));
        UseServiceOnPort(service->Port());
        SetMessageBoxHandler([this](const std::string& text, const std::string&, unsigned) {
            questions.push_back(text);
            return answer;
        });
    }
    void TearDown() override {
        frame.reset();
        SetMessageBoxHandler(nullptr);
        UseServiceOnPort(kServicePort);
    }

    // A video page: a title, and a video element pointing at `media`. The service's
    // own reads are slowed a little so the page title is known before the hand-off.
    void AddVideoPage(const std::string& path, const std::string& title, const std::string& media) {
        site.Get(
            path, [title, media](const httplib::Request& request, httplib::Response& response) {
                if (request.get_header_value("User-Agent").find("Mozilla") != std::string::npos) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                }
                response.set_content("<html><head><title>" + title +
                                         "</title></head><body><video src=\"" + media +
                                         "\"></video></body></html>",
                                     "text/html");
            });
    }

    void OpenWindow() {
        ASSERT_TRUE(site.Start());
        frame = std::make_unique<CMainFrame>();
        ASSERT_TRUE(frame->OnCreate());
        frame->show();
        view = frame->GetActiveView();
        view->Entry().m_strSaveFolder = folder.path().toStdString();
    }

    // The New command with the dialog filled in and confirmed, as a user does it.
    void EnterTask(const std::string& url, const std::string& name = "") {
        QTimer::singleShot(0, [url, name] {
            auto* dialog = qobject_cast<CNewTaskDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->m_editUrl->setText(QString::fromStdString(url));
            if (!name.empty()) {
                dialog->m_chkRename->click();
                dialog->m_editRename->setText(QString::fromStdString(name));
            }
            dialog->m_btnOK->click();
        });
        frame->OnCommand(ID_FILE_NEW);
    }

    bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
        return testsupport::WaitForEvents(done, ms);
    }

    int State(int row) { return view->GetTaskState(row); }
    std::string Cell(int row, int column) { return view->TaskModel().GetItemText(row, column); }
    std::string FileIn(const std::string& name) const {
        return folder.path().toStdString() + "/" + name;
    }
    std::vector<std::string> FilesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path().toStdString())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    QTemporaryDir folder;
    testsupport::TestHttpServer site;
    std::unique_ptr<ExtractionService> service;
    std::unique_ptr<CMainFrame> frame;
    CQuilletView* view = nullptr;
    std::vector<std::string> questions;
    int answer = IDOK;
};
