#pragma once
// TForm1, the installer's wizard: one fixed window with two pages (panels shown and hidden in
// it). The first page greets and shows the readme; the second asks for the folder, installs,
// and then turns into the finish page with "Run Korvalen right now". Esc closes the installer
// at any time; Enter is Next on the first page, Install on the second and OK at the end.
#include <QString>
#include <QWidget>

#include <memory>
#include <string>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kv::music {
class MediaPlayer;
}

namespace kv::setup {

class TForm1 : public QWidget {
    Q_OBJECT
public:
    struct Options {
        std::string source;  // folder of data.res and Music.wav; "" : the installer's own folder
        bool music = true;   // play Music.wav at start
    };
    explicit TForm1(QWidget* parent = nullptr) : TForm1(Options{}, parent) {}
    explicit TForm1(const Options& options, QWidget* parent = nullptr);
    ~TForm1() override;

    // 1 on the first page, 2 on the second, 1000 after a finished installation.
    int State() const { return state_; }
    // The last step the installation reached (the old progress window's text).
    const QString& StepText() const { return stepText_; }

    // First page
    QFrame* Panel4 = nullptr;
    QLabel* Image2 = nullptr;  // background picture
    QFrame* Bevel1 = nullptr;
    QFrame* Bevel2 = nullptr;
    QLabel* Label8 = nullptr;               // title
    QLabel* RxLabel1 = nullptr;             // greeting
    QLabel* RxLabel4 = nullptr;             // readme text
    QPushButton* RxSpeedButton2 = nullptr;  // Readme
    QPushButton* RxSpeedButton1 = nullptr;  // Next >
    QPushButton* RxSpeedButton3 = nullptr;  // Cancel
    QPushButton* RxSpeedButton7 = nullptr;  // OK (back from the readme)
    // Second page
    QFrame* Panel2 = nullptr;
    QFrame* Bevel3 = nullptr;  // the page frame
    QLabel* Label7 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* RxSpeedButton4 = nullptr;  // Browse
    QLabel* Label1 = nullptr;
    QPushButton* VB1 = nullptr;  // Install
    QPushButton* VB2 = nullptr;  // Cancel
    // Finish items
    QLabel* RxLabel3 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLabel* RxLabel6 = nullptr;
    QPushButton* RxSpeedButton6 = nullptr;  // OK
    QLabel* Image1 = nullptr;               // program icon

    // The actions behind the buttons.
    void Readme();
    void ReadmeOk();
    void Next();
    void Browse();
    void InstallNow();
    void FinishOk();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildFirstPage();
    void buildSecondPage();
    void playMusic();

    std::string source_;
    std::string target_;  // where the finished installation went
    int state_ = 1;
    QString stepText_;
    std::unique_ptr<music::MediaPlayer> music_;
};

}  // namespace kv::setup
