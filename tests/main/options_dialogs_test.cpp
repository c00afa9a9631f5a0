// The options, colours and fonts dialogs on the real window: what each control changes in the
// panels and the window at once, and what reaches kv.ini after a restart.
#include <QCheckBox>
#include <QColorDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include "main/options/colors_form.h"
#include "main/options/fonts_form.h"
#include "main/options/options_form.h"
#include "main/options/param_values.h"
#include "main/settings/settings_schema.h"
#include "main/user_menu/user_menu_form.h"
#include "main_window_fixture.h"
#include "panel/panel_colors.h"

namespace kvtest {
namespace {

TEST(ParamValues, RangesAreTheSchemasAndOutOfRangeNumbersAreClamped) {
    for (auto [range, section, key] : {std::tuple{kv::SplitterRange(), "Global", "Main_Splitter"},
                                       std::tuple{kv::ColumnsRange(), "Panel_Left", "Columns"},
                                       std::tuple{kv::LengthRange(), "Panel_Right", "Length"}}) {
        SCOPED_TRACE(key);
        const kv::SettingSpec* s = kv::FindSetting(section, key);
        EXPECT_EQ(range.min, s->min);
        EXPECT_EQ(range.max, s->max);
        EXPECT_EQ(range.def, s->number);
    }
    EXPECT_EQ(kv::SplitterRange().min, 1);
    EXPECT_EQ(kv::SplitterRange().max, 60);
    EXPECT_EQ(kv::ColumnsRange().max, 12);
    EXPECT_EQ(kv::LengthRange().min, 4);

    kv::KvConfig cfg;
    kv::TFPanelModel left, full;
    full.Style = 3;
    kv::ParamValues v = kv::ReadParamValues(cfg, left);
    v.splitter = 500;
    v.columns = 0;
    v.length = 1000;
    kv::ApplyParamValues(v, cfg, {&left, &full});
    EXPECT_EQ(cfg.Main.Main_Splitter, 60);
    EXPECT_EQ(left.Columns, 1);
    EXPECT_EQ(left.Length, 100);
    EXPECT_EQ(full.Columns, 1);  // the full view keeps one column
    v.columns = 40;
    kv::ApplyParamValues(v, cfg, {&left, &full});
    EXPECT_EQ(left.Columns, 12);
    EXPECT_EQ(full.Columns, 1);
}

TEST(ParamValues, OnlyEnglishAndRussianAreSwitched) {
    struct Case {
        const char* stored;
        bool englishChecked;
        const char* after;
        bool message;
    };
    const Case cases[] = {{"ENGLISH", false, "RUSSIAN", true}, {"RUSSIAN", true, "ENGLISH", true},
                          {"ENGLISH", true, "ENGLISH", false}, {"RUSSIAN", false, "RUSSIAN", false},
                          {"GERMAN", true, "GERMAN", false},   {"GERMAN", false, "GERMAN", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + (c.englishChecked ? " / English" : " / Russian"));
        kv::KvConfig cfg;
        cfg.Main.Language = c.stored;
        kv::TFPanelModel p;
        kv::ParamValues v = kv::ReadParamValues(cfg, p);
        v.english = c.englishChecked;
        EXPECT_EQ(kv::ApplyParamValues(v, cfg, {&p}).languageChanged, c.message);
        EXPECT_EQ(cfg.Main.Language, c.after);
    }
}

class OptionsTest : public MainWindowTest {
protected:
    // Runs the command and `steps` on the dialog it opens.
    template <class D>
    void withDialog(const char* command, std::function<void(D*)> steps) {
        bool seen = false;
        onNextDialog<D>([&](D* d) {
            seen = true;
            steps(d);
            if (d->isVisible()) d->reject();
        });
        form->runCommand(command);
        EXPECT_TRUE(seen) << command;
    }
    kv::TForm1& restart() {
        form->close();
        form.reset();
        return start();
    }
};

TEST_F(OptionsTest, EveryOptionReachesTheRightPanelAtOnceAndKvIniAfterARestart) {
    writeFile(work / ".hidden", "h");
    auto& f = start();
    ASSERT_GT(f.RightPanel->FL.findByName(".hidden"), 0);
    f.SetActive("Right", f.RightPanel, "Show");
    f.RightPanel->Style = 1;  // brief view, so the columns box is open
    f.RightPanel->Columns = 3;
    const kv::TFPanelSettings leftBefore = *f.LeftPanel;
    const int leftScroll = f.LeftPanel->ScrollHeight;
    QString message;
    withDialog<kv::TFormParam>("config.mainOptions", [&](kv::TFormParam* d) {
        EXPECT_EQ(d->GroupBox2->title(), QStringLiteral(" Setting for Right panel "));
        EXPECT_EQ(d->Book->count(), 4);
        EXPECT_TRUE(d->Lang2->isChecked());
        EXPECT_TRUE(d->Edit1->isEnabled());
        EXPECT_EQ(d->Edit3->value(), 11);
        // The old dialog's two fixed boxes and the switched-off ones.
        EXPECT_FALSE(d->CheckBox17->isEnabled() || d->CheckBox17->isChecked());
        EXPECT_TRUE(!d->CheckBox15->isEnabled() && d->CheckBox15->isChecked());
        for (QCheckBox* c : {d->CheckBox19, d->CheckBox20, d->CheckBox21, d->CheckBox10, d->CheckBox23,
                             d->CheckBox1, d->CheckBox2, d->CheckBox3})
            EXPECT_FALSE(c->isEnabled()) << c->text().toStdString();
        EXPECT_TRUE(d->CheckBox4->isEnabled());

        d->Edit4->setValue(20);
        d->CheckBox18->setChecked(false);
        d->CheckBox16->setChecked(true);
        d->CheckBox14->setChecked(true);
        d->Lang1->setChecked(true);
        d->Edit1->setValue(5);
        d->Edit2->setValue(12);
        d->Edit3->setValue(40);  // shown only; the strip follows "Show scroll bar"
        for (QCheckBox* c : {d->CheckBox5, d->CheckBox6, d->CheckBox7, d->CheckBox8, d->CheckBox9,
                             d->CheckBox11, d->CheckBox12, d->CheckBox13, d->CheckBox22})
            c->setChecked(false);
        d->CheckBox3->setChecked(false);  // disabled boxes still write their setting back
        d->CheckBox19->setChecked(false);
        d->CheckBox4->setChecked(true);
        answerNextMessageBox(QMessageBox::Ok, &message);
        d->Button1->click();
    });
    EXPECT_EQ(message,
              QStringLiteral("You have replaced language of appendix. The changes will come into force "
                             "at the following start Korvalen"));
    kv::TFPanel& r = *f.RightPanel;
    EXPECT_EQ(r.Columns, 5);
    EXPECT_EQ(r.Length, 12);
    EXPECT_EQ(r.ScrollHeight, 0);
    EXPECT_EQ(r.HeaderHeight, 24);  // twice Length, at once
    for (auto flag : {&kv::TFPanelSettings::Show_FreeDisk, &kv::TFPanelSettings::Show_FileName,
                      &kv::TFPanelSettings::Show_FileSize, &kv::TFPanelSettings::Show_FileDate,
                      &kv::TFPanelSettings::Show_CurDir, &kv::TFPanelSettings::Show_FileHide,
                      &kv::TFPanelSettings::Show_FileColors, &kv::TFPanelSettings::Show_ScrollBar,
                      &kv::TFPanelSettings::Param_ExecBegin})
        EXPECT_EQ(r.*flag, 0);
    // Hidden files are gone from the right listing at once, the left one still shows them.
    EXPECT_LE(r.FL.findByName(".hidden"), 0);
    EXPECT_GT(f.LeftPanel->FL.findByName(".hidden"), 0);
    // The left panel is another panel: untouched.
    EXPECT_EQ(f.LeftPanel->Columns, leftBefore.Columns);
    EXPECT_EQ(f.LeftPanel->Length, leftBefore.Length);
    EXPECT_EQ(f.LeftPanel->Show_FileHide, leftBefore.Show_FileHide);
    EXPECT_EQ(f.LeftPanel->ScrollHeight, leftScroll);
    // The window: the gap between the panels and stay-on-top.
    EXPECT_EQ(f.RightPanel->x() - (f.LeftPanel->x() + f.LeftPanel->width()), 20);
    EXPECT_TRUE(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(f.isVisible());
    const auto& c = f.cfg();
    EXPECT_EQ(c.Main.Language, "RUSSIAN");
    EXPECT_FALSE(c.Main.SysTrayIcon);
    EXPECT_TRUE(c.Main.DelToRecycle && c.Main.OnTop && c.Confirm.Exit);
    EXPECT_FALSE(c.Confirm.Delete || c.FilesPanel.InterfaceFlags.Show_ToolBar);
    // Nothing is written before the window closes.
    EXPECT_FALSE(fs::exists(iniPath));

    // Closing now asks first, as the dialog said.
    answerNextMessageBox(QMessageBox::Yes);
    auto& g = restart();
    const std::string ini = readFile(iniPath);
    for (const char* line : {"Main_Splitter=20", "SysTrayIcon=0", "DelToRecycle=1", "OnTop=1",
                             "Language=RUSSIAN", "Exit=1", "Delete=0", "Show_ToolBar=0"})
        EXPECT_NE(ini.find(line), std::string::npos) << line;
    const auto rightSection = ini.substr(ini.find("[Panel_Right]"));
    for (const char* line : {"Columns=5", "Length=12", "Show_FileHide=0", "Show_ScrollBar=0",
                             "Show_FreeDisk=0", "Show_CurDir=0", "Param_ExecBegin=0", "Show_FileColors=0"})
        EXPECT_NE(rightSection.find(line), std::string::npos) << line;
    EXPECT_EQ(g.RightPanel->Columns, 5);
    EXPECT_EQ(g.RightPanel->Length, 12);
    EXPECT_EQ(g.RightPanel->ScrollHeight, 0);
    EXPECT_EQ(g.cfg().Main.Main_Splitter, 20);
    EXPECT_TRUE(g.cfg().Confirm.Exit);
    answerNextMessageBox(QMessageBox::Yes);  // the quit question of the TearDown close
    g.close();
}

TEST_F(OptionsTest, TypedNumbersOutsideTheRangeNeverReachTheSettings) {
    auto& f = start();
    withDialog<kv::TFormParam>("config.mainOptions", [&](kv::TFormParam* d) {
        for (QSpinBox* box : {d->Edit4, d->Edit1, d->Edit2}) {
            box->selectAll();
            QTest::keyClicks(box, QStringLiteral("999"));
            box->interpretText();
        }
        EXPECT_LE(d->Edit4->value(), 60);
        EXPECT_LE(d->Edit1->value(), 12);
        EXPECT_LE(d->Edit2->value(), 100);
        d->Edit2->selectAll();
        QTest::keyClicks(d->Edit2, QStringLiteral("2"));
        d->Edit2->interpretText();
        EXPECT_GE(d->Edit2->value(), 4);
        d->Button1->click();
    });
    EXPECT_GE(f.cfg().Main.Main_Splitter, 1);
    EXPECT_LE(f.cfg().Main.Main_Splitter, 60);
    EXPECT_LE(f.LeftPanel->Columns, 12);
    EXPECT_GE(f.LeftPanel->Length, 4);
    EXPECT_LE(f.LeftPanel->Length, 100);
    f.close();
    const std::string ini = readFile(iniPath);
    EXPECT_EQ(ini.find("Main_Splitter=999"), std::string::npos);
    EXPECT_EQ(ini.find("Columns=999"), std::string::npos);
    EXPECT_EQ(ini.find("Length=999"), std::string::npos);
}

TEST_F(OptionsTest, TheFullViewKeepsOneColumn) {
    auto& f = start();
    f.SetActive("Right", f.RightPanel, "Show");
    ASSERT_EQ(f.RightPanel->Style, 3);
    withDialog<kv::TFormParam>("config.mainOptions", [&](kv::TFormParam* d) {
        EXPECT_FALSE(d->Edit1->isEnabled());
        EXPECT_EQ(d->Edit1->value(), 1);
        d->Edit1->setValue(6);  // even when set behind the user's back
        d->Button1->click();
    });
    EXPECT_EQ(f.RightPanel->Columns, 1);
    EXPECT_EQ(f.RightPanel->columns(), 1);
}

TEST_F(OptionsTest, SynchronisationAppliesThePanelPageToBothPanelsWhichStayApart) {
    auto& f = start();
    f.cfg().Main.Sync_Panels = true;
    f.LeftPanel->Length = 9;
    f.RightPanel->Length = 14;
    f.SetActive("Right", f.RightPanel, "Show");
    withDialog<kv::TFormParam>("config.mainOptions", [&](kv::TFormParam* d) {
        EXPECT_EQ(d->GroupBox2->title(), QStringLiteral(" Setting for Left and Right panels "));
        EXPECT_EQ(d->Edit2->value(), 9);  // the left panel's values show
        EXPECT_TRUE(d->CheckBox23->isChecked());
        d->Edit2->setValue(16);
        d->CheckBox13->setChecked(false);
        d->Button1->click();
    });
    for (kv::TFPanel* p : {f.LeftPanel, f.RightPanel}) {
        EXPECT_EQ(p->Length, 16);
        EXPECT_EQ(p->ScrollHeight, 0);
    }
    EXPECT_NE(f.LeftPanel, f.RightPanel);
    EXPECT_EQ(f.LeftPanel->Side, "Left");
    EXPECT_EQ(f.RightPanel->Side, "Right");
    EXPECT_TRUE(f.RightPanel->isVisible());
}

TEST_F(OptionsTest, SetDefaultAsksThenShowsTheDefaults) {
    auto& f = start();
    f.cfg().Main.Main_Splitter = 30;
    f.cfg().Confirm.Copy = false;
    withDialog<kv::TFormParam>("config.mainOptions", [&](kv::TFormParam* d) {
        EXPECT_EQ(d->Edit4->value(), 30);
        QString question;
        answerNextMessageBox(QMessageBox::Ok, &question);
        d->Button3->click();
        EXPECT_EQ(question, QStringLiteral("Do you want set default configuration of Korvalen ?"));
        EXPECT_EQ(d->Edit4->value(), 7);
        EXPECT_TRUE(d->CheckBox1->isChecked());
        d->Button2->click();  // Cancel: the reset stays, nothing else changes
    });
    EXPECT_EQ(f.cfg().Main.Main_Splitter, 7);
}

TEST_F(OptionsTest, ColoursChooseCancelOkAndCopy) {
    auto& f = start();
    f.SetActive("Right", f.RightPanel, "Show");
    kv::TFPanel& r = *f.RightPanel;
    const kv::TColorRef cursor = r.PanelSelectFon;
    const kv::TColorRef leftCursor = f.LeftPanel->PanelSelectFon;
    withDialog<kv::TFormColor>("config.colors", [&](kv::TFormColor* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Select colors for Right panel"));
        EXPECT_EQ(d->Button4->text(), QStringLiteral("Set Left panel as Right"));
        EXPECT_EQ(d->ListBox1->count(), 10);
        EXPECT_EQ(d->ListBox1->currentRow(), 0);
        EXPECT_TRUE(d->Timer1->isActive());
        d->ListBox1->setCurrentRow(6);
        EXPECT_EQ(d->GroupBox1->title(), QStringLiteral(" File cursor "));
        EXPECT_EQ(d->L1->pos(), QPoint(110, 70));

        onNextDialog<QColorDialog>([](QColorDialog* c) {
            c->setCurrentColor(QColor(200, 10, 20));
            c->accept();
        });
        d->Button3->click();
        EXPECT_EQ(d->working()[6], kv::fromQColor(QColor(200, 10, 20)));
        EXPECT_EQ(r.PanelSelectFon, cursor);  // the panel waits for OK

        // Choose again, preset with the panel's colour; cancelled, that colour comes back.
        QColor preset;
        onNextDialog<QColorDialog>([&](QColorDialog* c) {
            preset = c->currentColor();
            c->reject();
        });
        d->Button3->click();
        EXPECT_EQ(kv::fromQColor(preset), cursor);
        EXPECT_EQ(d->working()[6], cursor);

        onNextDialog<QColorDialog>([](QColorDialog* c) {
            c->setCurrentColor(QColor(1, 2, 3));
            c->accept();
        });
        d->Button3->click();
        // The copy button gives the other panel the active panel's colours, not the working ones.
        d->Button4->click();
        EXPECT_EQ(f.LeftPanel->PanelSelectFon, cursor);
        EXPECT_TRUE(d->isVisible());
        d->Button1->click();
        EXPECT_FALSE(d->Timer1->isActive());
    });
    EXPECT_EQ(r.PanelSelectFon, kv::fromQColor(QColor(1, 2, 3)));
    EXPECT_NE(leftCursor, kv::fromQColor(QColor(1, 2, 3)));
    EXPECT_EQ(f.LeftPanel->PanelSelectFon, cursor);

    // Cancel discards the working copy.
    withDialog<kv::TFormColor>("config.colors", [&](kv::TFormColor* d) {
        d->ListBox1->setCurrentRow(0);
        onNextDialog<QColorDialog>([](QColorDialog* c) {
            c->setCurrentColor(QColor(9, 9, 9));
            c->accept();
        });
        d->Button3->click();
        d->Button2->click();
    });
    EXPECT_NE(r.PanelFon, kv::fromQColor(QColor(9, 9, 9)));
    f.close();
    EXPECT_NE(readFile(iniPath).find("PanelSelectFon=" + std::to_string(kv::fromQColor(QColor(1, 2, 3)))),
              std::string::npos);
}

TEST_F(OptionsTest, AFontChangeRecomputesThePanelMetrics) {
    auto& f = start();
    kv::TFPanel& l = *f.LeftPanel;
    ASSERT_EQ(l.Font_Size, 8);
    const int sizeWidth8 = l.SizeWidth, dateWidth8 = l.DateWidth;
    EXPECT_EQ(l.HeaderHeight, 25);
    EXPECT_EQ(l.InfoHeight, 38);

    // Cancelled: white, name and size kept.
    l.Font_Color = 0x0000FF;
    const std::string name = l.Font_Name;
    withDialog<kv::TFormFonts>("config.fonts", [&](kv::TFormFonts* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Select font for Left panel"));
        EXPECT_EQ(d->ListBox1->currentRow(), 0);
        onNextDialog<QFontDialog>([](QFontDialog* fd) { fd->reject(); });
        d->Button3->click();
        EXPECT_FALSE(d->isVisible());  // Change font closes the dialog
    });
    EXPECT_EQ(l.Font_Color, 0xFFFFFFu);
    EXPECT_EQ(l.Font_Name, name);
    EXPECT_EQ(l.Font_Size, 8);

    withDialog<kv::TFormFonts>("config.fonts", [&](kv::TFormFonts* d) {
        onNextDialog<QFontDialog>([](QFontDialog* fd) {
            QFont big(QStringLiteral("Liberation Sans"));
            big.setPointSize(10);
            big.setBold(true);
            fd->setCurrentFont(big);
            fd->accept();
        });
        d->Button3->click();
    });
    EXPECT_EQ(l.Font_Size, 10);
    EXPECT_TRUE(l.Font_Bold);
    EXPECT_EQ(l.Length, 10);
    EXPECT_EQ(l.HeaderHeight, 20);
    EXPECT_EQ(l.InfoHeight, 40);
    EXPECT_GT(l.SizeWidth, sizeWidth8);
    EXPECT_GT(l.DateWidth, dateWidth8);
    EXPECT_EQ(l.CanvasFont().pointSize(), 10);

    // The copy button: the right panel takes the font and its metrics; the dialog stays.
    withDialog<kv::TFormFonts>("config.fonts", [&](kv::TFormFonts* d) {
        d->Button4->click();
        EXPECT_TRUE(d->isVisible());
        d->Button1->click();
    });
    kv::TFPanel& r = *f.RightPanel;
    EXPECT_EQ(r.Font_Size, 10);
    EXPECT_TRUE(r.Font_Bold);
    EXPECT_EQ(r.HeaderHeight, 20);
    EXPECT_EQ(r.InfoHeight, 40);
    EXPECT_EQ(r.SizeWidth, l.SizeWidth);
    f.close();
    const std::string ini = readFile(iniPath);
    EXPECT_NE(ini.find("Font_Size=10"), std::string::npos);
    EXPECT_NE(ini.find("Font_Style=[fsBold]"), std::string::npos);
}

// Pictures of the dialogs for the documentation: KV_SHOTS_DIR=/some/folder main_tests
// --gtest_filter=*DialogPictures*
TEST_F(OptionsTest, DialogPictures) {
    const char* dir = std::getenv("KV_SHOTS_DIR");
    if (!dir) GTEST_SKIP() << "KV_SHOTS_DIR not set";
    fs::create_directories(dir);
    writeFile(iniPath.parent_path() / "kv.mnu",
              "3\r\n \r\nProcesses\r\nhtop\r\n \r\nEdit notes\r\nmousepad ~/notes.txt\r\n \r\nManual\r\n"
              "~/manual.pdf\r\n \r\n");
    start();
    auto save = [dir](QWidget* w, const char* name) {
        QApplication::processEvents();
        EXPECT_TRUE(w->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name)));
    };
    withDialog<kv::TFormMenu>("file.userMenu", [&](kv::TFormMenu* d) {
        d->ListBox1->setCurrentRow(0);
        save(d, "kv-user-menu.png");
        d->Button3->click();
        d->Button6->click();
        save(d, "kv-user-menu-edit.png");
        d->MenuChanged = false;
    });
    withDialog<kv::TFormParam>("config.mainOptions", [&](kv::TFormParam* d) {
        save(d, "kv-options.png");
        d->Book->setCurrentIndex(1);
        save(d, "kv-options-panels.png");
    });
    withDialog<kv::TFormColor>("config.colors", [&](kv::TFormColor* d) {
        d->Timer1->stop();
        d->L1->show();
        d->ListBox1->setCurrentRow(6);
        save(d, "kv-colors.png");
    });
    withDialog<kv::TFormFonts>("config.fonts", [&](kv::TFormFonts* d) { save(d, "kv-fonts.png"); });
}

}  // namespace
}  // namespace kvtest
