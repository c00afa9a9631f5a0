// The wizard driven by keys and clicks on the offscreen platform: Enter walks from the first
// page through the installation to starting the program, Esc closes at any time, a failed
// installation shows its error and keeps the page, the readme comes and goes.
#include "setup/setup_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include "setup/folder_form.h"
#include "setup_home.h"

namespace kvsetup {
namespace {

QApplication* app() {
    static QApplication* instance = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "setup_tests";
        static char* argv[] = {name, nullptr};
        auto* a = new QApplication(argc, argv);
        // The installer's own look (its main sets the same).
        if (QStyle* windows = QApplication::setStyle(QStringLiteral("Windows")))
            QApplication::setPalette(windows->standardPalette());
        return a;
    }();
    return instance;
}

// Answers the next modal dialog of type D with `then` once it is shown (gives up after 5 s).
template <class D>
void onNextModal(std::function<void(D*)> then) {
    auto tries = std::make_shared<int>(0);
    auto attempt = std::make_shared<std::function<void()>>();
    *attempt = [then, attempt, tries] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            then(d);
            return;
        }
        if (++*tries < 500) QTimer::singleShot(10, *attempt);
    };
    QTimer::singleShot(0, *attempt);
}

class Wizard : public SetupHome {
protected:
    void SetUp() override {
        SetupHome::SetUp();
        app();
        makeDataRes(programFiles());
        form = std::make_unique<kv::setup::TForm1>(kv::setup::TForm1::Options{source, false});
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void TearDown() override {
        form.reset();
        SetupHome::TearDown();
    }
    bool shown(QWidget* w) const { return w->isVisibleTo(form.get()); }

    std::unique_ptr<kv::setup::TForm1> form;
};

TEST_F(Wizard, EnterWalksThroughTheInstallationAndStartsTheProgram) {
    EXPECT_EQ(form->State(), 1);
    EXPECT_EQ(form->windowTitle(), "Korvalen v1.00 pre-release");
    QTest::keyClick(form->RxSpeedButton1, Qt::Key_Return);
    EXPECT_EQ(form->State(), 2);
    EXPECT_FALSE(shown(form->Panel4));
    EXPECT_TRUE(shown(form->Panel2));
    EXPECT_EQ(form->Edit1->text().toStdString(), defaultTarget());
    for (QWidget* w : std::initializer_list<QWidget*>{form->RxLabel3, form->CheckBox1, form->RxLabel6,
                                                      form->RxSpeedButton6, form->Image1})
        EXPECT_FALSE(shown(w));

    // Enter in the edit installs (key preview: the form acts before the edit does).
    QTest::keyClick(form->Edit1, Qt::Key_Return);
    ASSERT_EQ(form->State(), 1000);
    EXPECT_EQ(form->StepText(), "Installation is complited!");
    EXPECT_EQ(read(defaultTarget() + "/readme.txt"), "Read me.\n");
    EXPECT_TRUE(fs::exists(menuFolder() + "/Korvalen.desktop"));
    for (QWidget* w : std::initializer_list<QWidget*>{form->RxSpeedButton4, form->VB1, form->VB2, form->Edit1,
                                                      form->Label1, form->Label7, form->Bevel3})
        EXPECT_FALSE(shown(w));
    struct Spot {
        QWidget* w;
        QPoint at;
    };
    for (const Spot& s : {Spot{form->RxLabel3, {58, 110}}, Spot{form->RxLabel6, {120, 146}},
                          Spot{form->CheckBox1, {104, 146}}, Spot{form->RxSpeedButton6, {150, 170}},
                          Spot{form->Image1, {165, 65}}}) {
        EXPECT_TRUE(shown(s.w));
        EXPECT_EQ(s.w->pos(), s.at);
    }
    EXPECT_TRUE(form->CheckBox1->isChecked());

    // Enter at the end starts the installed program in its folder and closes the wizard.
    QTest::keyClick(form->RxSpeedButton6, Qt::Key_Return);
    EXPECT_FALSE(form->isVisible());
    ASSERT_TRUE(appears(defaultTarget() + "/started.txt"));
    EXPECT_EQ(read(defaultTarget() + "/started.txt"), defaultTarget() + "\n");
}

TEST_F(Wizard, UncheckedBoxClosesWithoutStarting) {
    form->Next();
    form->Edit1->setText(QString::fromStdString(home + "/k"));
    QTest::mouseClick(form->VB1, Qt::LeftButton);
    ASSERT_EQ(form->State(), 1000);
    // A click on the caption toggles the box.
    QTest::mouseClick(form->RxLabel6, Qt::LeftButton);
    EXPECT_FALSE(form->CheckBox1->isChecked());
    QTest::mouseClick(form->RxSpeedButton6, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    QTest::qWait(300);
    EXPECT_FALSE(fs::exists(home + "/k/started.txt"));
}

TEST_F(Wizard, FailedInstallationShowsWhyAndKeepsThePage) {
    form->Next();
    const std::string blocker = tmp.file("home/blocker", "a file");
    form->Edit1->setText(QString::fromStdString(blocker + "/korvalen"));
    QString said;
    onNextModal<QMessageBox>([&said](QMessageBox* box) {
        said = box->text();
        box->accept();
    });
    QTest::keyClick(form->Edit1, Qt::Key_Return);
    EXPECT_TRUE(said.contains(QString::fromStdString(blocker))) << said.toStdString();
    EXPECT_EQ(form->State(), 2);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(shown(form->VB1));
    EXPECT_TRUE(shown(form->Bevel3));
    EXPECT_FALSE(fs::exists(kvIni()));

    // An empty folder does nothing at all: no box, no installation.
    auto boxed = std::make_shared<bool>(false);
    onNextModal<QMessageBox>([boxed](QMessageBox* box) {
        *boxed = true;
        box->accept();
    });
    form->Edit1->clear();
    QTest::keyClick(form->Edit1, Qt::Key_Return);
    EXPECT_EQ(form->State(), 2);
    EXPECT_FALSE(*boxed);
}

TEST_F(Wizard, ReadmeComesAndGoesAndEscCloses) {
    QTest::mouseClick(form->RxSpeedButton2, Qt::LeftButton);
    EXPECT_EQ(form->Label8->text(), "               Readme");
    EXPECT_TRUE(shown(form->RxLabel4));
    EXPECT_TRUE(shown(form->RxSpeedButton7));
    for (QWidget* w : std::initializer_list<QWidget*>{form->RxLabel1, form->RxSpeedButton1,
                                                      form->RxSpeedButton2, form->RxSpeedButton3})
        EXPECT_FALSE(shown(w));
    QTest::mouseClick(form->RxSpeedButton7, Qt::LeftButton);
    EXPECT_EQ(form->Label8->text(), "Installation Korvalen");
    EXPECT_TRUE(shown(form->RxLabel1));
    EXPECT_FALSE(shown(form->RxLabel4));

    form->Next();
    QTest::keyClick(form->Edit1, Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(fs::exists(defaultTarget()));
}

TEST_F(Wizard, BrowsePutsThePickedFolderIntoTheEdit) {
    const std::string picked = tmp.dir("home/apps/tools");
    tmp.dir("home/apps/other");
    form->Next();
    form->Edit1->setText(QString::fromStdString(home + "/apps"));
    onNextModal<kv::setup::TForm2>([&](kv::setup::TForm2* picker) {
        EXPECT_EQ(picker->windowTitle(), "Please select a folder");
        EXPECT_EQ(picker->Directory().toStdString(), home + "/apps");
        // Rows: the way down from "/" to apps, then what apps holds.
        QListWidgetItem* tools = nullptr;
        for (int i = 0; i < picker->DLB1->count(); ++i)
            if (picker->DLB1->item(i)->text().trimmed() == "tools") tools = picker->DLB1->item(i);
        ASSERT_NE(tools, nullptr);
        emit picker->DLB1->itemActivated(tools);
        EXPECT_EQ(picker->Directory().toStdString(), picked);
        picker->Button1->click();
    });
    QTest::mouseClick(form->RxSpeedButton4, Qt::LeftButton);
    EXPECT_EQ(form->Edit1->text().toStdString(), picked);
    // Cancel leaves the edit alone.
    onNextModal<kv::setup::TForm2>([](kv::setup::TForm2* picker) { picker->Button2->click(); });
    QTest::mouseClick(form->RxSpeedButton4, Qt::LeftButton);
    EXPECT_EQ(form->Edit1->text().toStdString(), picked);
}

// A 16-bit mono PCM WAVE of `frames` silent frames.
std::string silentWav(uint32_t frames) {
    auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    const uint32_t data = frames * 2;
    return "RIFF" + u32(36 + data) + "WAVEfmt " + u32(16) + u16(1) + u16(1) + u32(8000) + u32(16000) +
           u16(2) + u16(16) + "data" + u32(data) + std::string(data, '\0');
}

// Music.wav beside the installer plays while the wizard runs; where the machine has no sound
// device it stays silent, and the wizard works and closes as ever.
TEST_F(SetupHome, MusicBesideTheInstallerNeverGetsInTheWay) {
    app();
    makeDataRes(programFiles());
    std::ofstream(source + "/Music.wav", std::ios::binary) << silentWav(8000 * 5);
    {
        kv::setup::TForm1 form(kv::setup::TForm1::Options{source, true});
        form.show();
        QTest::keyClick(&form, Qt::Key_Return);
        QTest::keyClick(form.Edit1, Qt::Key_Return);
        EXPECT_EQ(form.State(), 1000);
        QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_FALSE(form.isVisible());
    }  // the music stops with the window, mid-play
    std::ofstream(source + "/Music.wav", std::ios::binary) << "RIFF damaged";
    kv::setup::TForm1 damaged(kv::setup::TForm1::Options{source, true});
    damaged.show();
    QTest::keyClick(&damaged, Qt::Key_Return);
    EXPECT_EQ(damaged.State(), 2);
}

// Both pages paint their own pictures: the first page's dark background under a light title,
// the finish page's icon. KV_SETUP_SHOTS names a folder to keep the two pictures in.
TEST_F(Wizard, PagesPaintTheirPictures) {
    const QImage first = form->grab().toImage();
    form->Next();
    const QImage second = form->grab().toImage();
    form->Edit1->setText(QString::fromStdString(home + "/k"));
    form->InstallNow();
    ASSERT_EQ(form->State(), 1000);
    const QImage finish = form->grab().toImage();
    ASSERT_EQ(first.size(), QSize(353, 241));
    EXPECT_LT(first.pixelColor(5, 120).lightness(), 80) << "the background picture";
    EXPECT_EQ(finish.pixelColor(165 + 10, 65 + 4), QColor(0, 0, 128)) << "the program icon's panel";
    if (const QByteArray dir = qgetenv("KV_SETUP_SHOTS"); !dir.isEmpty()) {
        first.save(QString::fromLocal8Bit(dir) + "/kv-setup-1.png");
        second.save(QString::fromLocal8Bit(dir) + "/kv-setup-2.png");
        finish.save(QString::fromLocal8Bit(dir) + "/kv-setup-3.png");
    }
}

}  // namespace
}  // namespace kvsetup
