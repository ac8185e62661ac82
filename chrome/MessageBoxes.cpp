#include "chrome/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "tasks/TaskMessageSeam.h"

namespace tamsel {

namespace {

int ShowWidgetMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    const bool question = (style & MB_OKCANCEL) != 0;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (style & MB_ICONQUESTION) {
        icon = QMessageBox::Question;
    } else if (style & MB_ICONINFORMATION) {
        icon = QMessageBox::Information;
    }
    const QMessageBox::StandardButtons buttons =
        question ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok;
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text), buttons,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(question ? QMessageBox::Cancel : QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
}

}  // namespace

void InstallWidgetMessageBoxes() {
    SetMessageBoxHandler([](const std::string& text, const std::string& caption, unsigned style) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) {
            return (style & MB_OKCANCEL) ? IDCANCEL : IDOK;
        }
        if (QThread::currentThread() == app->thread()) {
            return ShowWidgetMessageBox(text, caption, style);
        }
        int answer = IDCANCEL;
        QMetaObject::invokeMethod(
            app, [&] { answer = ShowWidgetMessageBox(text, caption, style); },
            Qt::BlockingQueuedConnection);
        return answer;
    });
}

}  // namespace tamsel
