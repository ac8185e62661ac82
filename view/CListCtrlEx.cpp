#include "view/CListCtrlEx.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <cctype>
#include <climits>
#include <cstdint>

#include "tasks/TaskListModel.h"

namespace tamsel {

int ParseProgressPercent(const std::string& text) {
    if (text.empty() || text.back() != '%') {
        return -1;
    }
    const std::string number = text.substr(0, text.size() - 1);
    std::size_t i = 0;
    while (i < number.size() && std::isspace(static_cast<unsigned char>(number[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
        negative = number[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < number.size() && std::isdigit(static_cast<unsigned char>(number[i])); ++i) {
        // Saturate instead of overflowing: a huge number still fills the bar.
        value = std::min<std::int64_t>(value * 10 + (number[i] - '0'), INT_MAX);
    }
    return static_cast<int>(negative ? -value : value);
}

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) {
        return -1;
    }
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    std::int64_t magnitude = product < 0 ? -product : product;
    const std::int64_t divisor = denominator < 0 ? -static_cast<std::int64_t>(denominator)
                                                 : static_cast<std::int64_t>(denominator);
    magnitude = (magnitude + divisor / 2) / divisor;
    const bool negative = (product < 0) != (denominator < 0);
    const std::int64_t result = negative ? -magnitude : magnitude;
    if (result > INT_MAX || result < INT_MIN) {
        return -1;
    }
    return static_cast<int>(result);
}

QString ProgressCellText(int state, const QString& cellText) {
    if (state == TASK_DOWNLOADING || state < 0 || state >= kTaskStateCount) {
        return cellText;
    }
    return QString::fromLatin1(kTaskStateTexts[state]);
}

namespace {

class CellPainter : public QStyledItemDelegate {
public:
    explicit CellPainter(CListCtrlEx* list) : QStyledItemDelegate(list), m_list(list) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        m_list->PaintCell(painter, option, index);
    }

private:
    CListCtrlEx* m_list;
};

}  // namespace

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTableView(parent) {
    // The colours come from the palette once; later palette changes do not reach them.
    const QPalette pal = QApplication::palette();
    m_clrProgressText = pal.color(QPalette::Active, QPalette::WindowText);
    m_clrProgressBack = pal.color(QPalette::Active, QPalette::Base);
    m_clrSelectedBack = pal.color(QPalette::Active, QPalette::Button);
    m_clrProgressBar = pal.color(QPalette::Active, QPalette::Light);
    m_clrText = pal.color(QPalette::Active, QPalette::WindowText);

    setItemDelegate(new CellPainter(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setSortingEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    // Rows as high as a list row for the font: the text and a small margin.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(fontMetrics().height() + 4, 17));
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
}

void CListCtrlEx::AddCenteredColumn(int column) {
    if (column >= 1 && column <= 5 && column != m_nProgressColumn) {
        m_centeredColumns.append(column);
    }
}

void CListCtrlEx::SetStateImages(const QList<QPixmap>& images) {
    m_stateImages = images;
    viewport()->update();
}

void CListCtrlEx::setSelectionModel(QItemSelectionModel* selectionModel) {
    if (QItemSelectionModel* old = this->selectionModel()) {
        disconnect(old, &QItemSelectionModel::selectionChanged, this,
                   &CListCtrlEx::OnSelectionChanged);
    }
    QTableView::setSelectionModel(selectionModel);
    if (selectionModel) {
        connect(selectionModel, &QItemSelectionModel::selectionChanged, this,
                &CListCtrlEx::OnSelectionChanged);
    }
}

void CListCtrlEx::OnSelectionChanged(const QItemSelection& selected, const QItemSelection&) {
    // Rows newly selected in one go are taken in row order; the last one counts.
    int last = -1;
    for (const QItemSelectionRange& range : selected) {
        last = std::max(last, range.bottom());
    }
    if (last >= 0) {
        m_nLastSelected = last;
    }
}

void CListCtrlEx::PaintCell(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) {
    const int column = index.column();
    const QString text = index.data(Qt::DisplayRole).toString();
    const QRect cell = option.rect;

    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(cell, selected ? m_clrSelectedBack : QColor(255, 255, 255));
    const QRect inset = cell.adjusted(1, 0, -1, 0);
    const QVariant stateValue = index.siblingAtColumn(0).data(kTaskStateRole);
    const int state = stateValue.isValid() ? stateValue.toInt() : -1;

    if (column == 0) {
        if (state >= 0 && state < m_stateImages.size() && !m_stateImages[state].isNull()) {
            painter->drawPixmap(inset.left() + 10, inset.top() + 1, m_stateImages[state]);
        }
    } else if (column == m_nProgressColumn) {
        // A text without a percent (the amount of a download of unknown length) draws
        // no bar: nothing says how far along it is.
        const int percent = ParseProgressPercent(text.toStdString());
        const int value = percent == -1 ? 0 : percent;
        const int x = inset.left() + MulDiv(value, inset.width(), 100);
        painter->setClipRect(inset);
        const int split = std::clamp(x, inset.left(), inset.left() + inset.width());
        painter->fillRect(QRect(inset.left(), inset.top(), split - inset.left(), inset.height()),
                          m_clrProgressBar);
        painter->fillRect(
            QRect(split, inset.top(), inset.left() + inset.width() - split, inset.height()),
            m_clrProgressBack);
        painter->setPen(m_clrProgressText);
        painter->drawText(inset, Qt::AlignCenter | Qt::TextSingleLine,
                          ProgressCellText(state, text));
    } else {
        // Not clipped: a long text runs on until the next cell paints over it.
        const Qt::Alignment align =
            (m_centeredColumns.contains(column) ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop;
        painter->setPen(m_clrText);
        painter->drawText(inset, align | Qt::TextDontClip, text);
    }
    painter->restore();
}

}  // namespace tamsel
