#include "main/panel_dialogs/form_sort.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "main/main_form.h"

namespace kv {

int TFormSort::sortMethodOfItem(int item) {
    static const int methods[5] = {srName, srExt, srSize, srDate, srNone};
    return item >= 0 && item < 5 ? methods[item] : srName;
}

QString TFormSort::groupCaption(int sortMethod) {
    switch (sortMethod) {
        case srName: return QStringLiteral(" Sort by name ");
        case srExt: return QStringLiteral(" Sort by extension ");
        case srDate: return QStringLiteral(" Sort by date ");
        case srSize: return QStringLiteral(" Sort by size ");
        default: return QStringLiteral(" No sorting ");
    }
}

TFormSort::TFormSort(TForm1& form) : QDialog(&form), form_(form) {
    setObjectName(QStringLiteral("FormSort"));
    setWindowTitle(QStringLiteral("Sort modes"));
    GroupBox1 = new QGroupBox(QStringLiteral(" Sort by "), this);
    ListBox1 = new QListWidget(GroupBox1);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->addItems({QStringLiteral("Name"), QStringLiteral("Extension"), QStringLiteral("Size"),
                        QStringLiteral("Date"), QStringLiteral("None")});
    ListBox1->setMouseTracking(true);
    ListBox1->viewport()->setMouseTracking(true);
    ListBox1->viewport()->installEventFilter(this);
    ListBox1->installEventFilter(this);
    auto* inner = new QVBoxLayout(GroupBox1);
    inner->addWidget(ListBox1);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(GroupBox1);
    const int rowH = ListBox1->sizeHintForRow(0);
    ListBox1->setFixedHeight(rowH * ListBox1->count() + 2 * ListBox1->frameWidth() + 2);
    setFixedWidth(220);

    // Beside the active panel, 30 pixels in.
    const bool left = form.cfg().Main.Active == "Left";
    const QPoint at = form.geometry().topLeft();
    const int x = at.x() + 30 + (left ? 0 : form.RightPanel->x());
    const int y = at.y() + form.LeftPanel->y() + 30;
    move(x, y);
}

void TFormSort::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    FormActivate();
}

void TFormSort::FormActivate() {
    const bool left = form_.cfg().Main.Active == "Left";
    setWindowTitle(left ? QStringLiteral("Sort modes for Left panel")
                        : QStringLiteral("Sort modes for Right panel"));
    GroupBox1->setTitle(groupCaption(form_.activePanel()->SortMethod));
    ListBox1->setCurrentRow(0);
    ListBox1->setFocus();
}

void TFormSort::choose() {
    const int item = ListBox1->currentRow();
    if (item < 0) return;
    TFPanel* p = form_.activePanel();
    p->SortMethod = static_cast<std::uint8_t>(sortMethodOfItem(item));
    p->HideCursor();
    p->ReadDir();
    p->LocateCursor();
    p->DrawList();
    p->DrawCursor();
    accept();
}

bool TFormSort::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListBox1->viewport()) {
        if (event->type() == QEvent::MouseMove) {
            const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
            if (QListWidgetItem* it = ListBox1->itemAt(pos)) ListBox1->setCurrentItem(it);
            return false;
        }
        if (event->type() == QEvent::MouseButtonPress) {
            // The press says where it is, also without a move before it.
            const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
            if (QListWidgetItem* it = ListBox1->itemAt(pos)) ListBox1->setCurrentItem(it);
            choose();
            return true;
        }
    }
    if (watched == ListBox1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            choose();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kv
