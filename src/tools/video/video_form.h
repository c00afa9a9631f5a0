#pragma once
// The video-mode window: the current mode, the driver's modes and "&Set mode". Modal; the
// list is read again each time the window is activated and after every switch.
#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

#include "tools/tool_window.h"
#include "tools/video/display_modes.h"

class QLineEdit;
class QListWidget;
class QLabel;
class QPushButton;

namespace kv {

// "800 x 600, 16 bits".
QString modeText(const video::DisplayMode& mode);
// The message for a switch's result; empty for a result the table does not know.
QString switchResultText(video::SwitchResult result);

class TFormVideo : public QDialog {
    Q_OBJECT
public:
    explicit TFormVideo(std::unique_ptr<video::DisplayModes> modes, ToolTexts texts = englishText,
                        QWidget* parent = nullptr);

    QLineEdit* CurrentMode = nullptr;
    QListWidget* ModeList = nullptr;
    QLabel* Unavailable = nullptr;
    QPushButton* SetButton = nullptr;
    QPushButton* CancelButton = nullptr;
    // Every mode the driver offered, in its order (as many as it has).
    const std::vector<video::DisplayMode>& modes() const { return modes_; }
    // Shows a switch's message; a message box unless a test puts its own.
    std::function<void(const QString&)> report;

    void FormActivate();

public slots:
    void SetButtonClick();

protected:
    bool event(QEvent* e) override;

private:
    std::unique_ptr<video::DisplayModes> driver_;
    std::vector<video::DisplayMode> modes_;
};

}  // namespace kv
