#include "main/options/fonts_form.h"

#include <QFontDialog>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cmath>

#include "main/main_form.h"
#include "main/settings/settings_schema.h"

namespace kv {

TFormFonts::TFormFonts(TForm1& form) : QDialog(&form), form_(form) {
    setObjectName(QStringLiteral("FormFonts"));
    setWindowTitle(QStringLiteral("Set fonts"));
    setFixedSize(356, 150);

    GroupBox1 = new QGroupBox(QStringLiteral(" Set font for Left Panel "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 6, 340, 70);
    ListBox1 = new QListWidget(GroupBox1);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 20, 324, 42);
    ListBox1->addItem(QStringLiteral("Font for file panel"));

    auto button = [this](const char* name, const QString& caption, int left, int top, int width) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(left, top, width, 25);
        return b;
    };
    Button1 = button("Button1", QStringLiteral("&OK"), 8, 84, 75);
    Button2 = button("Button2", QStringLiteral("&Cancel"), 92, 84, 75);
    Button3 = button("Button3", QStringLiteral("C&hange font"), 176, 84, 100);
    Button4 = button("Button4", QStringLiteral("Set Right panel as Left"), 8, 116, 268);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TFormFonts::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TFormFonts::Button4Click);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { Button3Click(); });

    FormActivate();
}

void TFormFonts::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
}

void TFormFonts::FormActivate() {
    ListBox1->setCurrentRow(0);
    const bool left = form_.activePanel() == form_.LeftPanel;
    // The dialog names what it sets: the font, of the active panel.
    setWindowTitle(left ? QStringLiteral("Select font for Left panel")
                        : QStringLiteral("Select font for Right panel"));
    GroupBox1->setTitle(left ? QStringLiteral(" Set font for Left Panel ")
                             : QStringLiteral(" Set font for Right Panel "));
    Button4->setText(left ? QStringLiteral("Set Right panel as Left")
                          : QStringLiteral("Set Left panel as Right"));
}

int TFormFonts::PanelFontSize(const QFont& font) {
    const SettingSpec* s = FindSetting("Panel_Left", "Font_Size");
    double points = font.pointSizeF();
    if (points <= 0 && font.pixelSize() > 0) points = font.pixelSize() * 72.0 / 96.0;
    int size = points > 0 ? static_cast<int>(std::lround(points)) : static_cast<int>(s->number);
    return size < s->min ? s->min : size > s->max ? s->max : size;
}

void TFormFonts::SetPanelFont(TForm1& form, TFPanel& panel, const QFont& font) {
    panel.Font_Name = font.family().toStdString();
    panel.Font_Size = PanelFontSize(font);
    panel.Font_Bold = font.bold();
    panel.Font_Italic = font.italic();
    const SettingSpec* length = FindSetting("Panel_Left", "Length");
    panel.Length = std::clamp(panel.Font_Size, length->min, length->max);
    // Header 25 and status strip 38 at 8 pt, else twice and four times the size; the size and
    // date columns after the new font's widths.
    panel.ApplyFont();
    form.FormResize();
    panel.update();
}

void TFormFonts::Button3Click() {
    TFPanel& p = *form_.activePanel();
    p.Font_Color = 0xFFFFFF;
    const QFont preset = p.CanvasFont();
    QFontDialog dialog(preset, this);
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    const QFont chosen = dialog.exec() == QDialog::Accepted ? dialog.selectedFont() : preset;
    SetPanelFont(form_, p, chosen);
    accept();
}

void TFormFonts::Button4Click() {
    TFPanel& from = *form_.activePanel();
    TFPanel& to = *form_.passivePanel();
    to.Font_Color = from.Font_Color;
    SetPanelFont(form_, to, from.CanvasFont());
}

}  // namespace kv
