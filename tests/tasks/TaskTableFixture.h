#pragma once
// A task table with its messages answered by the test and recorded.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <functional>
#include <string>
#include <vector>

#include "tasks/TaskMessageSeam.h"
#include "tasks/TaskTable.h"
#include "tests/support/QtTestEnv.h"

using namespace tamsel;

class RecordingTable : public CTaskTable {
public:
    std::vector<std::string> messages;
    int answer = IDOK;
    std::vector<std::string> openedTargets;      // also "file:" + path for a file opened
    std::vector<std::pair<int, int>> endedRows;  // row, state
    int queued = 0;                              // tasks handed to the resolver

protected:
    int ShowMessage(const std::string& text, unsigned) override {
        messages.push_back(text);
        return answer;
    }
    void OpenTargetInShell(const std::string& folder, const std::string& path,
                           bool fileExists) override {
        openedTargets.push_back(fileExists ? "select:" + path : "folder:" + folder);
    }
    void OpenFileInShell(const std::string& path) override {
        openedTargets.push_back("file:" + path);
    }
    void OnTaskEnded(int row, int state) override { endedRows.emplace_back(row, state); }
    void OnTaskQueued() override { ++queued; }
};

class TaskTableTest : public ::testing::Test {
protected:
    // Adds a task under the user's own name, so no page title is read.
    int Add(const std::string& url, const std::string& name = "clip.flv") {
        table.Entry().m_strUrl = url;
        table.Entry().m_strRename = name;
        table.Entry().m_strSaveFolder = folder.path().toStdString();
        return table.AddTask();
    }
    std::string Cell(int row, int column) const {
        return table.TaskModel().GetItemText(row, column);
    }
    // Runs the event loop until the condition holds or the time is up.
    static bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
        return testsupport::WaitForEvents(done, ms);
    }

    QTemporaryDir folder;
    RecordingTable table;
};
