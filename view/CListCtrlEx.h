#pragma once
// The task list: a table that paints every cell itself. Column 0 shows the state
// icon only, the progress column a two-colour bar with a centred text, the other
// columns their texts; it also remembers the row that most recently became selected.

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QTableView>
#include <string>

class QStyleOptionViewItem;

namespace tamsel {

// The percentage of a progress text: when the text ends in "%", the integer in front
// of it read the way atoi reads (leading blanks, a sign, digits up to the first
// non-digit; 0 when there are none); -1 when the text does not end in "%".
int ParseProgressPercent(const std::string& text);

// number * numerator / denominator rounded to the nearest integer, halves away from
// zero; -1 when the denominator is 0 or the result does not fit.
int MulDiv(int number, int numerator, int denominator);

// The text over a progress bar: the cell's own text while the row is downloading (and
// for a state code outside the table), the state's text otherwise.
QString ProgressCellText(int state, const QString& cellText);

class CListCtrlEx : public QTableView {
    Q_OBJECT
public:
    explicit CListCtrlEx(QWidget* parent = nullptr);

    void SetProgressColumn(int column) { m_nProgressColumn = column; }
    void SetProgressTextColor(const QColor& color) { m_clrProgressText = color; }
    void SetProgressBarColor(const QColor& color) { m_clrProgressBar = color; }
    void SetProgressBackColor(const QColor& color) { m_clrProgressBack = color; }
    // Centres a text column: 1 to 5, not the progress column; duplicates are kept.
    void AddCenteredColumn(int column);
    int GetLastSelectedItem() const { return m_nLastSelected; }
    // The state icons; image k is drawn for state code k.
    void SetStateImages(const QList<QPixmap>& images);

    void setSelectionModel(QItemSelectionModel* selectionModel) override;

    // Paints one cell into option.rect; used by the item delegate.
    void PaintCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index);

    QList<int> m_centeredColumns;
    QColor m_clrProgressText;
    QColor m_clrProgressBack;
    QColor m_clrSelectedBack;
    QColor m_clrProgressBar;
    QColor m_clrText;
    int m_nProgressColumn = 0;
    int m_nLastSelected = -1;

private:
    void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);

    QList<QPixmap> m_stateImages;
};

}  // namespace tamsel
