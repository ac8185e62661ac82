#pragma once
// The one view of the window: hosts the task list, receives the user's commands and
// gives the task table its screen (message boxes, repaint, file manager, credentials).

#include <QList>
#include <QPixmap>
#include <QWidget>
#include <functional>

#include "tasks/LinkResolver.h"
#include "tasks/TaskTable.h"

class QAction;
class QMimeData;
class QUrl;

namespace tamsel {

class CListCtrlEx;

class CQuilletView : public QWidget, public CTaskTable {
    Q_OBJECT
public:
    explicit CQuilletView(QWidget* parent = nullptr);
    ~CQuilletView() override;

    void OnInitialUpdate();
    void OnCommand(int id);
    // The New command; `initialUrl` (a dropped link) takes the clipboard's place.
    void OnNewTask(const std::string& initialUrl = {});
    void OnConvert();
    void OnUpdateOpenTarget(QAction* item) const;
    // Builds the context menu for the current selection (also used by tests).
    QMenu* BuildContextMenu();

    // The http or https address a drop carries (a link, else the first line of its
    // text); "" when it carries none.
    static std::string DroppedAddress(const QMimeData* data);
    // Opens an address in the desktop's application for it; false when none could be
    // started. Replaceable (tests).
    using UrlOpener = std::function<bool(const QUrl&)>;
    static UrlOpener s_urlOpener;

    CListCtrlEx* TaskList() const { return m_listTasks; }
    // The resolver of this view's queue; the frame's timers pace it.
    CLinkResolver& Resolver() { return m_resolver; }
    const CLinkResolver& Resolver() const { return m_resolver; }
    const QList<QPixmap>& StateImages() const { return m_imageList; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    void RepaintList() override;
    void OpenTargetInShell(const std::string& folder, const std::string& path,
                           bool fileExists) override;
    void OpenFileInShell(const std::string& path) override;
    void OnTaskEnded(int row, int state) override;
    void OnCredentialsRequest(std::shared_ptr<CredentialsRequest> request) override;
    void OnTaskQueued() override { m_resolver.OnTaskQueued(); }

private:
    void OnSize();
    void OnContextMenu(const QPoint& screenPoint);
    void SetupTaskList();
    void LoadStateIcons();
    void InitTaskDefaults();
    // Opens `url`, or tells the user where to go by hand when nothing could.
    void OpenOrTell(const QUrl& url, const std::string& whenNothingOpens);

    CListCtrlEx* m_listTasks = nullptr;
    QList<QPixmap> m_imageList;
    // Whether one row was selected when the context menu last opened.
    int m_bOneSelected = 0;
    // Ends before the table it works on (members go before bases), browser included.
    CLinkResolver m_resolver{*this};
};

}  // namespace tamsel
