#pragma once
// The store of the task rows: what the task list control shows, and the only
// copy of the rows. Display-free, so the task table and its tests run without a screen.

#include <QAbstractTableModel>
#include <array>
#include <string>
#include <vector>

namespace tamsel {

// Task state codes, stored as a row's image index.
enum TaskState {
    TASK_FAILED = 0,
    TASK_DOWNLOADING = 1,
    TASK_STOP = 2,
    TASK_FINISH = 3,
    TASK_WAIT = 4,
};
inline constexpr int kTaskStateCount = 5;
inline constexpr const char* kTaskStateTexts[kTaskStateCount] = {"Failed", "DownLoading", "Stop",
                                                                 "Finish", "Wait"};

enum TaskColumn {
    COL_STATE = 0,
    COL_FILE_NAME = 1,
    COL_SIZE = 2,
    COL_PROGRESS = 3,
    COL_SOURCE = 4,
    COL_FLV = 5,
};
inline constexpr int kTaskColumnCount = 6;
inline constexpr const char* kTaskColumnTitles[kTaskColumnCount] = {
    "", "File Name", "Size", "Progress", "Source Address", "Flv Address"};
inline constexpr int kTaskColumnWidths[kTaskColumnCount] = {36, 120, 60, 100, 300, 500};

// Extra roles of the model, beside Qt::DisplayRole (the cell text).
inline constexpr int kTaskStateRole = Qt::UserRole + 1;  // int: the row's state code
inline constexpr int kTaskIdRole = Qt::UserRole + 2;     // int: the row's task number
// QString: why the task failed, in the user's words; empty unless it failed. Also the
// row's tooltip in every column.
inline constexpr int kTaskReasonRole = Qt::UserRole + 3;

class CTaskListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CTaskListModel(QObject* parent = nullptr);

    // Row access in the list control's terms: image index, item data, cell texts (UTF-8).
    int GetItemCount() const { return static_cast<int>(m_rows.size()); }
    int InsertItem();  // appends an empty row and returns its index
    void DeleteItem(int row);
    void DeleteAllItems();
    std::string GetItemText(int row, int column) const;
    void SetItemText(int row, int column, const std::string& text);
    int GetItemImage(int row) const;
    void SetItemImage(int row, int image);
    int GetItemData(int row) const;
    void SetItemData(int row, int data);
    // Why the task failed (UTF-8); "" clears it.
    std::string GetItemReason(int row) const;
    void SetItemReason(int row, const std::string& reason);
    // Asks every view of the model to repaint all rows.
    void RedrawItems();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        int image = TASK_WAIT;
        int data = 0;
        std::array<std::string, kTaskColumnCount> texts;
        std::string reason;
    };
    bool IsValid(int row, int column = 0) const;

    std::vector<Row> m_rows;
};

}  // namespace tamsel
