// The yardstick for the manager's start-up: a plain Qt Widgets dialog of the
// main window's shape and size (a label, a four-column list of 20 rows, four
// buttons), built directly with no templates, language file or back end. It
// prints one line once its filled list has been painted, then closes.
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <cstdio>

namespace {

constexpr int kRows = 20;

// Dialog units as the manager converts them, so both windows have one size.
struct Units {
    int hbase;
    int vbase;
    explicit Units(const QFont& font) {
        const QFontMetrics fm(font);
        const int width = fm.horizontalAdvance(
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        hbase = (width / 26 + 1) / 2;
        vbase = fm.height();
    }
    QRect Rect(int x, int y, int w, int h) const {
        return QRect(x * hbase / 4, y * vbase / 8, w * hbase / 4, h * vbase / 8);
    }
};

class QuitWhenPainted : public QObject {
public:
    QuitWhenPainted(QDialog* dialog, QTableWidget* list)
        : QObject(dialog), m_dialog(dialog), m_list(list) {
        list->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            std::printf("minimal: shown with %d rows\n", m_list->rowCount());
            std::fflush(stdout);
            QMetaObject::invokeMethod(m_dialog, &QDialog::reject, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QDialog* m_dialog;
    QTableWidget* m_list;
    bool m_done = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QFont font = QApplication::font();
    font.setPointSize(9);
    const Units du(font);

    QDialog dialog;
    dialog.setFont(font);
    dialog.setWindowTitle(QStringLiteral("Tarnwick"));
    dialog.setFixedSize(du.Rect(0, 0, 320, 200).size());

    auto* label = new QLabel(QStringLiteral("List of existing virtual machine"), &dialog);
    label->setGeometry(du.Rect(7, 7, 175, 13));

    // The manager's list look: compact rows, centred headings, grid lines.
    // The row height decides how many rows are painted, so it must match.
    auto* list = new QTableWidget(&dialog);
    list->setGeometry(du.Rect(7, 26, 253, 167));
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    list->horizontalHeader()->setSectionsClickable(false);
    list->horizontalHeader()->setHighlightSections(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setWordWrap(false);
    list->setCornerButtonEnabled(false);
    list->setShowGrid(true);
    list->setColumnCount(4);
    list->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Arch"),
                                     QStringLiteral("Target"), QStringLiteral("CPU")});
    const int width = list->viewport()->width() / 4;
    for (int column = 0; column < 4; ++column)
        list->setColumnWidth(column, width);
    list->setRowCount(kRows);
    for (int row = 0; row < kRows; ++row) {
        const QString cells[4] = {
            QStringLiteral("bench machine %1").arg(row, 2, 10, QLatin1Char('0')),
            QStringLiteral("arm"), QStringLiteral("virt (arm)"), QStringLiteral("cortex-a15")};
        for (int column = 0; column < 4; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setTextAlignment(Qt::AlignCenter);
            list->setItem(row, column, item);
        }
    }

    const struct {
        const char* text;
        int y;
    } buttons[] = {{"new", 53}, {"edit", 78}, {"delete", 103}, {"start", 129}};
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QString::fromLatin1(b.text), &dialog);
        button->setFlat(true);
        button->setGeometry(du.Rect(271, b.y, 42, 11));
    }

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dialog.move(screen->availableGeometry().center() - dialog.rect().center());
    new QuitWhenPainted(&dialog, list);
    dialog.exec();
    return 0;
}
