// The seam's widget handler shows a real message box and answers IDOK or IDCANCEL.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <thread>

#include "chrome/MessageBoxes.h"
#include "tasks/TaskMessageSeam.h"

using namespace tamsel;

namespace {

struct Seen {
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the next message box with `button` and records what it showed.
void AnswerNextBox(Seen& seen, QMessageBox::StandardButton button) {
    QTimer::singleShot(0, [&seen, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = {box->text(), box->windowTitle(), box->icon(), box->standardButtons()};
        box->button(button)->click();
    });
}

class WidgetMessageBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        previous = SetMessageBoxHandler(nullptr);
        InstallWidgetMessageBoxes();
    }
    void TearDown() override { SetMessageBoxHandler(previous); }
    MessageBoxHandler previous;
};

TEST_F(WidgetMessageBoxes, ShowsCaptionTextIconAndButtons) {
    struct Case {
        unsigned style;
        QMessageBox::StandardButton press;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        int answer;
    } cases[] = {
        {MB_OKCANCEL | MB_ICONQUESTION, QMessageBox::Ok, QMessageBox::Question,
         QMessageBox::Ok | QMessageBox::Cancel, IDOK},
        {MB_OKCANCEL | MB_ICONQUESTION, QMessageBox::Cancel, QMessageBox::Question,
         QMessageBox::Ok | QMessageBox::Cancel, IDCANCEL},
        {MB_OK | MB_ICONINFORMATION, QMessageBox::Ok, QMessageBox::Information, QMessageBox::Ok,
         IDOK},
        {MB_OK | MB_ICONQUESTION, QMessageBox::Ok, QMessageBox::Question, QMessageBox::Ok, IDOK},
    };
    for (const Case& c : cases) {
        Seen seen;
        AnswerNextBox(seen, c.press);
        EXPECT_EQ(ShowMessageBox("The url address invalid.", "Message", c.style), c.answer);
        EXPECT_EQ(seen.text, QStringLiteral("The url address invalid."));
        EXPECT_EQ(seen.title, QStringLiteral("Message"));
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.buttons, c.buttons);
    }
}

TEST_F(WidgetMessageBoxes, AQuestionFromAnotherThreadIsAskedOnTheUiThread) {
    Seen seen;
    std::atomic<int> answer{0};
    std::thread worker(
        [&] { answer = ShowMessageBox("Stop?", "Message", MB_OKCANCEL | MB_ICONQUESTION); });
    // The worker waits while the box runs here.
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen.text = box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    poll.start();
    // A safety bound only, so a fault fails instead of hanging.
    QDeadlineTimer bound(10000);
    while (answer == 0 && !bound.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_NE(answer, 0);
    worker.join();
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(seen.text, QStringLiteral("Stop?"));
}

}  // namespace
