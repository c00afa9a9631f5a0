#pragma once
// The dialer window: a check-list of entries, Call / Hung up / Options / Cancel, a
// connection counter, the progress log and the options panel. A busy line or a dropped
// link moves on, round-robin, to the next checked entry after a countdown.
#include <QTimer>
#include <QWidget>

#include <memory>

#include "tools/dialer/dial_up.h"
#include "tools/tool_window.h"

class QCheckBox;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace kv {

struct DialerOptions {
    bool redial = true;
    bool closeOnBusy = false;
    bool closeOnConnect = false;
    int redialTime = 10;  // seconds
};

class TFormDialUp : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxLogLines = 10000;

    TFormDialUp(std::unique_ptr<dialer::DialService> service, DialerOptions options,
                ToolTexts texts = englishText, QWidget* parent = nullptr);

    DialerOptions options() const;

    TDialUp* DialUp = nullptr;
    QListWidget* EntryList = nullptr;  // check-list
    QPushButton* CallButton = nullptr;
    QPushButton* HangUpButton = nullptr;
    QPushButton* OptionsButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QLabel* Counter = nullptr;
    QListWidget* Log = nullptr;
    QFrame* OptionsPanel = nullptr;
    QCheckBox* CloseOnConnect = nullptr;
    QCheckBox* CloseOnBusy = nullptr;
    QCheckBox* Redial = nullptr;
    QSpinBox* RedialTime = nullptr;
    QPushButton* OptionsOk = nullptr;
    QTimer& Timer1() { return timer_; }
    int currentEntry() const { return current_; }
    int countdown() const { return countdown_; }

public slots:
    void CallClick();
    void HangUpClick();
    void Timer1Timer();
    void AsyncEvent(int state, int error, const QString& message);

signals:
    // The options as the window closes, for the settings.
    void closedWithOptions(const DialerOptions& options);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool checked(int index) const;
    bool anyChecked() const;
    QString entryName(int index) const;
    // Moves current_ to the next checked entry after it, wrapping round; false when none.
    bool advanceToChecked();
    void dialCurrent();

    int attempts_ = 0;
    int current_ = -1;
    int countdown_ = 0;
    bool found_ = false;
    QTimer timer_;
};

}  // namespace kv
