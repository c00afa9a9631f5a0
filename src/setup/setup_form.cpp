#include "setup/setup_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include "main/app_icon.h"
#include "setup/folder_form.h"
#include "setup/install_steps.h"
#include "tools/music/media_player.h"
#include "tools/sound/qt_sound_output.h"

namespace kv::setup {

namespace {

constexpr int kClientWidth = 353, kClientHeight = 241;  // the background picture's size

QString q(const std::string& s) { return QString::fromStdString(s); }

// The first page's picture: a deep blue fade with the program's icon, drawn here.
QPixmap backgroundPicture() {
    QPixmap pm(kClientWidth, kClientHeight);
    QPainter p(&pm);
    QLinearGradient fade(0, 0, 0, kClientHeight);
    fade.setColorAt(0, QColor(0, 0, 160));
    fade.setColorAt(1, QColor(0, 0, 24));
    p.fillRect(pm.rect(), fade);
    p.setOpacity(0.25);
    p.drawImage(QRect(kClientWidth - 80, 72, 64, 64), korvalenIconImage(64));
    return pm;
}

QLabel* label(QWidget* parent, const QString& text, const QRect& where) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(where);
    return l;
}

QPushButton* button(QWidget* parent, const QString& text, const QRect& where) {
    auto* b = new QPushButton(text, parent);
    b->setGeometry(where);
    b->setAutoDefault(false);
    return b;
}

QFrame* bevel(QWidget* parent, const QRect& where, QFrame::Shape shape) {
    auto* f = new QFrame(parent);
    f->setFrameShape(shape);
    f->setFrameShadow(QFrame::Sunken);
    f->setGeometry(where);
    return f;
}

}  // namespace

TForm1::TForm1(const Options& options, QWidget* parent) : QWidget(parent) {
    source_ = options.source.empty() ? InstallerFolder() : options.source;
    setWindowTitle(QStringLiteral("Korvalen v1.00 pre-release"));
    setWindowIcon(korvalenIcon());
    setFixedSize(kClientWidth, kClientHeight);
    buildFirstPage();
    buildSecondPage();
    // Key preview: the wizard sees Enter and Esc before the control that has the focus.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
    if (options.music) playMusic();
}

TForm1::~TForm1() = default;

void TForm1::buildFirstPage() {
    Panel4 = new QFrame(this);
    Panel4->setGeometry(0, 0, kClientWidth, kClientHeight);
    Image2 = label(Panel4, {}, Panel4->rect());
    Image2->setPixmap(backgroundPicture());
    QPalette light = palette();
    light.setColor(QPalette::WindowText, Qt::white);
    Label8 = label(Panel4, QStringLiteral("Installation Korvalen"), QRect(16, 10, 321, 32));
    QFont title = Label8->font();
    title.setPointSize(title.pointSize() + 5);
    title.setBold(true);
    Label8->setFont(title);
    Label8->setPalette(light);
    Bevel1 = bevel(Panel4, QRect(12, 46, 329, 2), QFrame::HLine);
    RxLabel1 = label(Panel4,
                     QStringLiteral("Welcome to the installation of Korvalen.\n\n"
                                    "It puts Korvalen on your computer and into your "
                                    "applications menu.\n\n"
                                    "Press Next to continue or Cancel to exit."),
                     QRect(20, 58, 245, 130));
    RxLabel4 = label(Panel4,
                     QStringLiteral("Korvalen is a two-panel file manager. Two folder panels stand "
                                    "side by side; the function keys view, edit, copy, move and "
                                    "delete, and a command line runs programs. It opens and "
                                    "extracts ZIP, ARJ, LHA, RAR and ARC archives and makes ZIP "
                                    "archives, shows pictures, edits text, and comes with a few "
                                    "tools and games."),
                     QRect(20, 58, 245, 130));
    for (QLabel* l : {RxLabel1, RxLabel4}) {
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setPalette(light);
    }
    RxLabel4->hide();
    Bevel2 = bevel(Panel4, QRect(12, 196, 329, 2), QFrame::HLine);
    RxSpeedButton2 = button(Panel4, QStringLiteral("&Readme"), QRect(12, 206, 81, 25));
    RxSpeedButton1 = button(Panel4, QStringLiteral("&Next >"), QRect(172, 206, 81, 25));
    RxSpeedButton3 = button(Panel4, QStringLiteral("&Cancel"), QRect(260, 206, 81, 25));
    RxSpeedButton7 = button(Panel4, QStringLiteral("OK"), QRect(260, 206, 81, 25));
    RxSpeedButton7->hide();
    connect(RxSpeedButton2, &QPushButton::clicked, this, &TForm1::Readme);
    connect(RxSpeedButton7, &QPushButton::clicked, this, &TForm1::ReadmeOk);
    connect(RxSpeedButton1, &QPushButton::clicked, this, &TForm1::Next);
    connect(RxSpeedButton3, &QPushButton::clicked, this, &QWidget::close);
}

void TForm1::buildSecondPage() {
    Panel2 = new QFrame(this);
    Panel2->setGeometry(0, 0, kClientWidth, kClientHeight);
    Panel2->hide();
    Bevel3 = bevel(Panel2, QRect(12, 12, 329, 184), QFrame::Panel);
    Label7 = label(Panel2, QStringLiteral("Folder to install Korvalen"), QRect(28, 34, 297, 18));
    Edit1 = new QLineEdit(q(DefaultTargetFolder()), Panel2);
    Edit1->setGeometry(28, 56, 209, 24);
    Edit1->setCursorPosition(0);
    RxSpeedButton4 = button(Panel2, QStringLiteral("&Browse"), QRect(244, 55, 81, 26));
    Label1 = label(Panel2,
                   QStringLiteral("Please quit all running copies of Korvalen\n"
                                  "        before continuing with this instalation"),
                   QRect(28, 118, 297, 40));
    VB1 = button(Panel2, QStringLiteral("&Install"), QRect(172, 206, 81, 25));
    VB2 = button(Panel2, QStringLiteral("&Cancel"), QRect(260, 206, 81, 25));
    connect(RxSpeedButton4, &QPushButton::clicked, this, &TForm1::Browse);
    connect(VB1, &QPushButton::clicked, this, &TForm1::InstallNow);
    connect(VB2, &QPushButton::clicked, this, &QWidget::close);

    // The finish items wait hidden on this page until the installation is done.
    RxLabel3 =
        label(Panel2, QStringLiteral("Installation finnished successfully. \n  Now you can run Korvalen."),
              QRect(58, 110, 240, 34));
    CheckBox1 = new QCheckBox(Panel2);
    CheckBox1->setGeometry(104, 146, 16, 18);
    CheckBox1->setChecked(true);
    RxLabel6 = label(Panel2, QStringLiteral("Run Korvalen right now"), QRect(120, 146, 160, 18));
    RxLabel6->setCursor(Qt::PointingHandCursor);
    RxSpeedButton6 = button(Panel2, QStringLiteral("&OK"), QRect(150, 170, 61, 25));
    connect(RxSpeedButton6, &QPushButton::clicked, this, &TForm1::FinishOk);
    Image1 = label(Panel2, {}, QRect(165, 65, 32, 32));
    Image1->setPixmap(QPixmap::fromImage(korvalenIconImage(32)));
    for (QWidget* w : std::initializer_list<QWidget*>{RxLabel3, CheckBox1, RxLabel6, RxSpeedButton6, Image1})
        w->hide();
}

void TForm1::playMusic() {
    const std::string wav = source_ + "/Music.wav";
    if (!QFileInfo(q(wav)).isFile()) return;
    // Without a sound device the program's output stays the silent one.
    sound::installQtSoundOutput();
    music_ = std::make_unique<music::MediaPlayer>();
    music_->FileName = wav;
    std::string ignored;
    music_->Play(ignored);
}

void TForm1::Readme() {
    RxLabel1->hide();
    RxSpeedButton1->hide();
    RxSpeedButton2->hide();
    RxSpeedButton3->hide();
    RxLabel4->show();
    RxSpeedButton7->show();
    Label8->setText(QStringLiteral("               Readme"));
}

void TForm1::ReadmeOk() {
    RxLabel4->hide();
    RxSpeedButton7->hide();
    RxLabel1->show();
    RxSpeedButton1->show();
    RxSpeedButton2->show();
    RxSpeedButton3->show();
    Label8->setText(QStringLiteral("Installation Korvalen"));
}

void TForm1::Next() {
    Panel4->hide();
    Panel2->show();
    Edit1->setFocus();
    state_ = 2;
}

void TForm1::Browse() {
    TForm2 picker(this);
    const QString typed = q(ExpandTarget(Edit1->text().toStdString()));
    // Opens at the folder typed so far (or the nearest one that exists).
    for (QFileInfo at(typed); !typed.isEmpty(); at = QFileInfo(at.absolutePath())) {
        if (at.isDir()) {
            picker.SetDirectory(at.absoluteFilePath());
            break;
        }
        if (at.absoluteFilePath() == QLatin1String("/")) break;
    }
    if (picker.exec() == QDialog::Accepted) Edit1->setText(picker.Directory());
}

void TForm1::InstallNow() {
    if (Edit1->text().isEmpty()) return;
    InstallPaths paths;
    paths.source = source_;
    paths.target = Edit1->text().toStdString();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const InstallReport report = Install(paths);
    QApplication::restoreOverrideCursor();
    stepText_ = q(report.step);
    if (!report.ok) {
        QMessageBox::critical(this, QStringLiteral("Korvalen Setup"), q(report.error));
        return;
    }
    if (!report.warning.empty())
        QMessageBox::warning(this, QStringLiteral("Korvalen Setup"), q(report.warning));
    target_ = report.target;
    Bevel3->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{RxSpeedButton4, VB1, VB2, Edit1, Label1, Label7})
        w->hide();
    RxLabel3->move(58, 110);
    RxLabel6->move(120, 146);
    CheckBox1->move(104, 146);
    RxSpeedButton6->move(150, 170);
    Image1->move(165, 65);
    for (QWidget* w : std::initializer_list<QWidget*>{RxLabel3, RxLabel6, CheckBox1, RxSpeedButton6, Image1})
        w->show();
    RxSpeedButton6->setFocus();
    state_ = 1000;
}

void TForm1::FinishOk() {
    if (state_ != 1000) return;
    if (CheckBox1->isChecked()) {
        std::string why;
        if (!StartInstalled(target_, why))
            QMessageBox::warning(this, QStringLiteral("Korvalen Setup"),
                                 q("Korvalen could not be started: " + why));
    }
    close();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && watched == RxLabel6) {
        CheckBox1->toggle();
        return true;
    }
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
    switch (key->key()) {
        case Qt::Key_Escape: close(); return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (state_ == 1)
                Next();
            else if (state_ == 2)
                InstallNow();
            else if (state_ == 1000)
                FinishOk();
            return true;
        default: return false;
    }
}

}  // namespace kv::setup
