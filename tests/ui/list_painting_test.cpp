// The task list paints its cells itself: state icons, two-colour progress bars,
// state texts, selection backgrounds and unclipped texts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QItemSelectionModel>
#include <QPainter>
#include <climits>

#include "UiTestSupport.h"
#include "chrome/StateIcons.h"
#include "tasks/TaskListModel.h"
#include "view/CListCtrlEx.h"

using namespace tamsel;

namespace {

const QColor kBar(142, 205, 240);
const QColor kBack(238, 248, 253);
const QColor kBlue(0, 0, 255);

class TaskListPainting : public ::testing::Test {
protected:
    void SetUp() override {
        // Set up the way the view does it.
        list.setModel(&model);
        list.setSelectionModel(&selection);
        list.SetProgressTextColor(kBlue);
        list.SetProgressBarColor(kBar);
        list.SetProgressBackColor(kBack);
        list.SetProgressColumn(COL_PROGRESS);
        list.AddCenteredColumn(COL_SIZE);
        for (int column = 0; column < kTaskColumnCount; ++column) {
            list.setColumnWidth(column, kTaskColumnWidths[column]);
        }
        list.SetStateImages(LoadStateIconPixmaps(ArtworkDir()));
        list.resize(1300, 260);
        list.show();
        QApplication::processEvents();
    }

    int AddRow(int state, const std::string& progress, const std::string& name = "clip.flv") {
        const int row = model.InsertItem();
        model.SetItemImage(row, state);
        model.SetItemText(row, COL_FILE_NAME, name);
        model.SetItemText(row, COL_SIZE, "0 K");
        model.SetItemText(row, COL_PROGRESS, progress);
        model.SetItemData(row, row);
        return row;
    }

    QRect Cell(int row, int column) { return list.visualRect(model.index(row, column)); }
    QImage Paint() { return Snapshot(list.viewport()); }

    // Number of bar-coloured pixels along the top line of a progress cell.
    static int FilledWidth(const QImage& image, const QRect& cell) {
        int filled = 0;
        for (int x = cell.left(); x <= cell.right(); ++x) {
            filled += PixelAt(image, x, cell.top()) == kBar ? 1 : 0;
        }
        return filled;
    }
    static int ExpectedFill(const QRect& cell, int percent) {
        const int width = cell.width() - 2;
        return std::clamp(MulDiv(percent, width, 100), 0, width);
    }

    CTaskListModel model;
    QItemSelectionModel selection{&model};
    CListCtrlEx list;
};

TEST(ProgressText, PercentIsReadTheWayAtoiReadsIt) {
    struct Case {
        const char* text;
        int percent;
    } cases[] = {
        {"45.31 %", 45},
        {"100.00 %", 100},
        {"0 %", 0},
        {"0%", 0},
        {"  7%", 7},
        {"abc%", 0},
        {"%", 0},
        {"-5%", -5},
        {"+12 %", 12},
        {"", -1},
        {"12 K", -1},
        {"50 % ", -1},
        {"99999999999%", INT_MAX},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseProgressPercent(c.text), c.percent) << '"' << c.text << '"';
    }
}

TEST(ProgressText, MulDivRoundsHalvesAwayFromZero) {
    struct Case {
        int number, numerator, denominator, result;
    } cases[] = {
        {45, 98, 100, 44}, {50, 3, 100, 2},     {-50, 3, 100, -2},
        {1, 1, 2, 1},      {-1, 1, 2, -1},      {100, 98, 100, 98},
        {7, 1, 0, -1},     {INT_MAX, 2, 1, -1}, {INT_MAX, 2, 2, INT_MAX},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.result)
            << c.number << '*' << c.numerator << '/' << c.denominator;
    }
}

TEST(ProgressText, DownloadingShowsItsOwnTextOthersTheirState) {
    EXPECT_EQ(ProgressCellText(TASK_DOWNLOADING, "45.31 %"), "45.31 %");
    EXPECT_EQ(ProgressCellText(TASK_FINISH, "100.00 %"), "Finish");
    EXPECT_EQ(ProgressCellText(TASK_FAILED, "0%"), "Failed");
    EXPECT_EQ(ProgressCellText(TASK_STOP, "3 %"), "Stop");
    EXPECT_EQ(ProgressCellText(TASK_WAIT, "0 %"), "Wait");
    EXPECT_EQ(ProgressCellText(7, "8 %"), "8 %");
}

TEST_F(TaskListPainting, BarIsFilledToThePercentageOfTheInsetCell) {
    struct Case {
        int state;
        const char* progress;
        int percent;
    } cases[] =
        {
            {TASK_DOWNLOADING, "45.31 %", 45},
            {TASK_FINISH, "100.00 %", 100},
            {TASK_FAILED, "0%", 0},
            {TASK_WAIT, "30 %", 30},
            {TASK_DOWNLOADING, "250 %", 250},  // not clamped, but kept inside the cell
        };
    for (const Case& c : cases) {
        AddRow(c.state, c.progress);
    }
    const QImage image = Paint();
    for (int row = 0; row < model.GetItemCount(); ++row) {
        const QRect cell = Cell(row, COL_PROGRESS);
        const int fill = ExpectedFill(cell, cases[row].percent);
        SCOPED_TRACE(cases[row].progress);
        EXPECT_EQ(FilledWidth(image, cell), fill);
        // The bar starts one pixel in; the rest of the inset cell is the back colour.
        const int y = cell.top();
        EXPECT_EQ(PixelAt(image, cell.left(), y), QColor(Qt::white));
        EXPECT_EQ(PixelAt(image, cell.right(), y), QColor(Qt::white));
        if (fill > 0) {
            EXPECT_EQ(PixelAt(image, cell.left() + 1, y), kBar);
            EXPECT_EQ(PixelAt(image, cell.left() + fill, y), kBar);
        }
        if (fill < cell.width() - 2) {
            EXPECT_EQ(PixelAt(image, cell.left() + 1 + fill, y), kBack);
        }
        // Whatever the text, it is drawn in blue somewhere in the middle of the cell.
        bool blue = false;
        for (int x = cell.left(); x <= cell.right() && !blue; ++x) {
            const QColor pixel = PixelAt(image, x, cell.center().y());
            blue = pixel.blue() > 200 && pixel.red() < 120 && pixel.green() < 160;
        }
        EXPECT_TRUE(blue);
    }
    // The cell to the right of an over-full bar keeps its own white background.
    EXPECT_EQ(PixelAt(image, Cell(4, COL_SOURCE).left() + 1, Cell(4, COL_SOURCE).top()),
              QColor(Qt::white));
}

// An unknown length shows the amount received and no bar, also once other rows have
// been painted full.
TEST_F(TaskListPainting, TextWithoutPercentDrawsNoBar) {
    AddRow(TASK_FINISH, "100.00 %");
    AddRow(TASK_STOP, "70 %");
    const int row = AddRow(TASK_DOWNLOADING, "12 K");
    const int empty = AddRow(TASK_DOWNLOADING, "");
    for (int pass = 0; pass < 2; ++pass) {
        const QImage image = Paint();
        EXPECT_EQ(FilledWidth(image, Cell(row, COL_PROGRESS)), 0);
        EXPECT_EQ(FilledWidth(image, Cell(empty, COL_PROGRESS)), 0);
    }
}

TEST_F(TaskListPainting, SelectedRowHasButtonFaceBehindEveryCell) {
    const int selected = AddRow(TASK_DOWNLOADING, "50 %");
    const int plain = AddRow(TASK_DOWNLOADING, "50 %");
    selection.select(model.index(selected, 0),
                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QImage image = Paint();
    const QColor face = list.m_clrSelectedBack;
    ASSERT_NE(face, QColor(Qt::white));
    for (int column = 0; column < kTaskColumnCount; ++column) {
        SCOPED_TRACE(column);
        const QRect on = Cell(selected, column);
        const QRect off = Cell(plain, column);
        EXPECT_EQ(PixelAt(image, on.left(), on.bottom()), face);
        EXPECT_EQ(PixelAt(image, off.left(), off.bottom()), QColor(Qt::white));
    }
    // The margins either side of the bar show it too.
    const QRect bar = Cell(selected, COL_PROGRESS);
    EXPECT_EQ(PixelAt(image, bar.right(), bar.top()), face);
    EXPECT_EQ(PixelAt(image, bar.left() + 1, bar.top()), kBar);
}

TEST_F(TaskListPainting, FirstColumnShowsTheStateIconOnly) {
    const QList<QPixmap> icons = LoadStateIconPixmaps(ArtworkDir());
    for (int state = 0; state < kTaskStateCount; ++state) {
        const int row = AddRow(state, "0 %");
        model.SetItemText(row, COL_STATE, "text that must not show");
    }
    const QImage image = Paint();
    for (int state = 0; state < kTaskStateCount; ++state) {
        SCOPED_TRACE(kTaskStateTexts[state]);
        ASSERT_FALSE(icons[state].isNull());
        QImage expected(kStateIconSize, kStateIconSize, QImage::Format_RGB32);
        expected.fill(Qt::white);
        QPainter(&expected).drawPixmap(0, 0, icons[state]);
        const QRect cell = Cell(state, COL_STATE);
        const QPoint origin(cell.left() + 1 + 10, cell.top() + 1);
        EXPECT_EQ(image.copy(QRect(origin, expected.size())), expected);
        // Nothing else: no text anywhere in the cell.
        int painted = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                const bool inIcon = QRect(origin, expected.size()).contains(x, y);
                painted += !inIcon && PixelAt(image, x, y) != QColor(Qt::white);
            }
        }
        EXPECT_EQ(painted, 0);
    }
}

TEST_F(TaskListPainting, NoStateImagesDrawsNoIcon) {
    list.SetStateImages({});
    AddRow(TASK_FINISH, "100 %");
    const QImage image = Paint();
    const QRect cell = Cell(0, COL_STATE);
    for (int x = cell.left(); x <= cell.right(); ++x) {
        ASSERT_EQ(PixelAt(image, x, cell.top() + 7), QColor(Qt::white)) << x;
    }
}

TEST_F(TaskListPainting, CentredColumnsAndUnclippedTexts) {
    const std::string longName(80, 'W');
    AddRow(TASK_WAIT, "0 %", "ab");
    model.SetItemText(0, COL_FLV, longName);
    list.setColumnWidth(COL_FLV, 40);
    const QImage image = Paint();
    auto firstInk = [&](const QRect& cell) {
        for (int x = cell.left(); x <= cell.right(); ++x) {
            for (int y = cell.top(); y <= cell.bottom(); ++y) {
                if (PixelAt(image, x, y) != QColor(Qt::white)) {
                    return x - cell.left();
                }
            }
        }
        return -1;
    };
    const QRect name = Cell(0, COL_FILE_NAME);
    const QRect size = Cell(0, COL_SIZE);
    EXPECT_LE(firstInk(name), 3);                 // left-aligned from the inset edge
    EXPECT_GT(firstInk(size), size.width() / 4);  // "0 K" centred
    // The last column's long text runs on past its right edge: neither cut nor elided.
    const QRect flv = Cell(0, COL_FLV);
    int inkBeyond = 0;
    for (int x = flv.right() + 2; x < flv.right() + 200; ++x) {
        for (int y = flv.top(); y <= flv.bottom(); ++y) {
            inkBeyond += PixelAt(image, x, y).lightness() < 160;
        }
    }
    EXPECT_GT(inkBeyond, 100);
}

TEST(CenteredColumns, OnlyTextColumnsOtherThanTheProgressColumn) {
    CListCtrlEx list;
    list.SetProgressColumn(3);
    for (int column : {0, 6, -1, 3}) {
        list.AddCenteredColumn(column);
    }
    EXPECT_TRUE(list.m_centeredColumns.isEmpty());
    list.AddCenteredColumn(2);
    list.AddCenteredColumn(5);
    list.AddCenteredColumn(2);  // duplicates are kept
    EXPECT_EQ(list.m_centeredColumns, QList<int>({2, 5, 2}));

    // The progress column is the one set at the time of the call.
    CListCtrlEx early;
    early.AddCenteredColumn(3);
    early.SetProgressColumn(3);
    EXPECT_EQ(early.m_centeredColumns, QList<int>({3}));
}

TEST(LastSelected, FollowsSelectionAndSurvivesDeselectionAndDeletion) {
    CTaskListModel model;
    QItemSelectionModel selection(&model);
    CListCtrlEx list;
    list.setModel(&model);
    list.setSelectionModel(&selection);
    for (int i = 0; i < 4; ++i) {
        model.InsertItem();
    }
    EXPECT_EQ(list.GetLastSelectedItem(), -1);
    const auto select = [&](int row, QItemSelectionModel::SelectionFlags how) {
        selection.select(model.index(row, 0), how | QItemSelectionModel::Rows);
    };
    select(2, QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(list.GetLastSelectedItem(), 2);
    select(1, QItemSelectionModel::Select);
    EXPECT_EQ(list.GetLastSelectedItem(), 1);
    select(1, QItemSelectionModel::Deselect);
    EXPECT_EQ(list.GetLastSelectedItem(), 1);
    model.DeleteItem(2);
    EXPECT_EQ(list.GetLastSelectedItem(), 1);
    model.DeleteItem(1);
    EXPECT_EQ(list.GetLastSelectedItem(), 1);
    selection.clearSelection();
    model.DeleteAllItems();
    EXPECT_EQ(list.GetLastSelectedItem(), 1);
    model.InsertItem();
    select(0, QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(list.GetLastSelectedItem(), 0);
}

}  // namespace
