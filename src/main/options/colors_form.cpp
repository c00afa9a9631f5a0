#include "main/options/colors_form.h"

#include <QColorDialog>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "main/main_form.h"
#include "panel/panel_colors.h"

namespace kv {

namespace {

const char* const kItemTexts[TFormColor::kItems] = {"Panel background",
                                                    "Vertical and horyzontal lines",
                                                    "Not active vertical and horyzontal lines",
                                                    "Current path in caption of panel",
                                                    "System text",
                                                    "File size information",
                                                    "File cursor",
                                                    "Folder in file panel",
                                                    "File in file panel",
                                                    "Select file color"};

// Where "<<" points at each item's part of the preview.
const QPoint kMarkers[TFormColor::kItems] = {{100, 100}, {5, 150},  {140, 150}, {114, 10}, {107, 220},
                                             {132, 205}, {110, 70}, {50, 40},   {67, 102}, {60, 117}};

constexpr int kPreviewWidth = 190;
constexpr int kPreviewHeight = 241;

// The preview's surface: it asks the dialog to paint it.
class PreviewBox : public QWidget {
public:
    PreviewBox(TFormColor* form, QWidget* parent) : QWidget(parent), form_(form) {
        setObjectName(QStringLiteral("PaintBox1"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        form_->PaintBox1Paint(p, size());
    }

private:
    TFormColor* form_;
};

}  // namespace

TColorRef& TFormColor::PanelColor(TFPanel& p, int item) {
    switch (item) {
        case 0: return p.PanelFon;
        case 1: return p.LineColor;
        case 2: return p.LineColorSlave;
        case 3: return p.HeaderTextColor;
        case 4: return p.SysTextColor;
        case 5: return p.SizeDateColor;
        case 6: return p.PanelSelectFon;
        case 7: return p.DirectoryColor;
        case 8: return p.FileColor;
        default: return p.FileSelectColor;
    }
}

TFormColor::TFormColor(TForm1& form) : QDialog(&form), form_(form) {
    setObjectName(QStringLiteral("FormColor"));
    setWindowTitle(QStringLiteral("Set colors"));
    setFixedSize(500, 314);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 6, 282, 264);
    ListBox1 = new QListWidget(GroupBox1);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 20, 266, 236);
    for (const char* t : kItemTexts) ListBox1->addItem(QString::fromLatin1(t));
    ListBox1->setMouseTracking(true);
    ListBox1->viewport()->installEventFilter(this);

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Panel1"));
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(2);
    frame->setGeometry(298, 14, kPreviewWidth + 4, kPreviewHeight + 4);
    Panel1 = frame;
    PaintBox1 = new PreviewBox(this, frame);
    PaintBox1->setGeometry(2, 2, kPreviewWidth, kPreviewHeight);
    L1 = new QLabel(QStringLiteral("<<"), PaintBox1);
    L1->setObjectName(QStringLiteral("L1"));
    QFont bold = L1->font();
    bold.setBold(true);
    L1->setFont(bold);
    QPalette red = L1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    L1->setPalette(red);
    L1->adjustSize();

    auto button = [this](const char* name, const QString& caption, int left, int width) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(left, 280, width, 25);
        return b;
    };
    Button1 = button("Button1", QStringLiteral("&OK"), 8, 75);
    Button2 = button("Button2", QStringLiteral("&Cancel"), 92, 75);
    Button3 = button("Button3", QStringLiteral("C&hoose"), 176, 114);
    Button4 = button("Button4", QStringLiteral("Set Right panel as Left"), 298, 194);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TFormColor::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TFormColor::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TFormColor::Button4Click);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { Button3Click(); });
    // The keyboard moves the marker as the mouse does.
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this] { ListBox1MouseMove(); });

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TFormColor::Timer1Timer);

    FormActivate();
}

void TFormColor::FormActivate() {
    Timer1->start();
    TFPanel& p = *form_.activePanel();
    for (int i = 0; i < kItems; ++i) work_[static_cast<size_t>(i)] = PanelColor(p, i);
    ListBox1->setCurrentRow(0);
    const bool left = form_.activePanel() == form_.LeftPanel;
    setWindowTitle(left ? QStringLiteral("Select colors for Left panel")
                        : QStringLiteral("Select colors for Right panel"));
    Button4->setText(left ? QStringLiteral("Set Right panel as Left")
                          : QStringLiteral("Set Left panel as Right"));
    ListBox1MouseMove();
    PaintBox1->update();
}

void TFormColor::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
    if (!Timer1->isActive()) Timer1->start();
}

bool TFormColor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListBox1->viewport() && event->type() == QEvent::MouseMove) ListBox1MouseMove();
    return QDialog::eventFilter(watched, event);
}

void TFormColor::ListBox1MouseMove() {
    const int row = ListBox1->currentRow();
    if (row < 0 || row >= kItems) return;
    GroupBox1->setTitle(QLatin1Char(' ') + ListBox1->item(row)->text() + QLatin1Char(' '));
    L1->move(kMarkers[row]);
}

void TFormColor::Timer1Timer() { L1->setVisible(!L1->isVisible()); }

void TFormColor::Button3Click() {
    const int row = ListBox1->currentRow();
    if (row < 0 || row >= kItems) return;
    // Preset with the panel's colour, not the working one; a cancelled choice gives it back.
    const TColorRef preset = PanelColor(*form_.activePanel(), row);
    QColorDialog dialog(toQColor(preset, palette()), this);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    work_[static_cast<size_t>(row)] =
        dialog.exec() == QDialog::Accepted ? fromQColor(dialog.selectedColor()) : preset;
    PaintBox1->update();
}

void TFormColor::Button1Click() {
    TFPanel& p = *form_.activePanel();
    for (int i = 0; i < kItems; ++i) PanelColor(p, i) = work_[static_cast<size_t>(i)];
    form_.FormResize();
    for (TFPanel* panel : {form_.LeftPanel, form_.RightPanel}) panel->update();
    accept();
}

void TFormColor::Button4Click() {
    TFPanel& from = *form_.activePanel();
    TFPanel& to = *form_.passivePanel();
    for (int i = 0; i < kItems; ++i) PanelColor(to, i) = PanelColor(from, i);
    to.update();
    form_.FormResize();
}

void TFormColor::done(int result) {
    Timer1->stop();
    QDialog::done(result);
}

void TFormColor::PaintBox1Paint(QPainter& p, const QSize& size) const {
    const QPalette& pal = palette();
    auto color = [&](int item) { return toQColor(work_[static_cast<size_t>(item)], pal); };
    const int w = size.width(), h = size.height();
    p.fillRect(QRect(QPoint(0, 0), size), color(0));
    p.setPen(QPen(color(1), 2));
    p.drawRect(QRect(QPoint(2, 3), QPoint(w - 60, h - 3)));
    // The other panel's left part, in the inactive line colour.
    p.setPen(QPen(color(2), 2));
    p.drawRect(QRect(QPoint(w - 50, 3), QPoint(w + 10, h - 3)));
    p.setPen(QPen(color(1), 2));
    p.drawLine(2, 30, w - 60, 30);
    p.drawLine(2, h - 40, w - 60, h - 40);

    QFont font(QString::fromLatin1(kPanelFontName));
    font.setPixelSize(10);  // the old 8 pt screen font's figures fit the positions above
    p.setFont(font);
    const int ascent = p.fontMetrics().ascent();
    auto text = [&](int x, int y, const QColor& c, const QString& s) {
        p.setPen(c);
        p.drawText(x, y + ascent, s);
    };
    text(20, 8, color(3), QStringLiteral("c:\\windows\\system"));
    text(7, h - 36, color(4), QStringLiteral("<command.com>"));
    text(7, h - 21, color(4), QStringLiteral("745Mb free on drive"));
    text(90, h - 36, color(5), QStringLiteral("14 678"));
    QFont boldFont = font;
    boldFont.setBold(true);
    p.setFont(boldFont);
    text(7, 40, Qt::white, QStringLiteral("AIDS"));
    text(7, 55, Qt::white, QStringLiteral("Windows"));
    p.setFont(font);
    text(7, 85, Qt::white, QStringLiteral("command.com"));
    text(7, 100, Qt::white, QStringLiteral("config.sys"));
    text(7, 115, color(9), QStringLiteral("user.cfg"));
    p.fillRect(QRect(QPoint(5, 69), QPoint(w - 62, 85)), color(6));
    text(7, 70, Qt::white, QStringLiteral("autoexec.bat"));
}

}  // namespace kv
