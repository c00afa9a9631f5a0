#pragma once
// The system-information window: computer, processor, memory, video mode, the current
// drive's size, the operating system and its owner, under a title that uncovers itself
// from left to right. Modal; the figures are filled each time the window is activated.
#include <QDialog>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/system_info.h"
#include "tools/tool_window.h"

class QLabel;
class QPushButton;

namespace kv {

// What the window shows, gathered when it is activated. Tests give their own.
struct SystemInfoSource {
    std::function<platform::SystemFigures()> figures = [] { return platform::readSystemFigures("/"); };
    std::function<std::int64_t()> driveSize;  // the current drive's bytes, -1 when unknown
    std::function<std::string()> owner = [] { return platform::userFullName(); };
    // Width, height and bits per pixel of the screen; empty: the window's own screen.
    std::function<QSize()> screenSize;
    std::function<int()> screenDepth;
};

// "#,###": thousands separated by commas, "-1" for a negative count.
QString groupThousands(std::int64_t value);
// The colour count for a pixel depth: 4 -> 16, 8 -> 256, 24 or 32 -> 16777216, else 65536.
QString colourCountText(int bitsPerPixel);

class TFormInfo : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTitleFullWidth = 208;
    static constexpr int kTitleStep = 15;

    explicit TFormInfo(SystemInfoSource source, ToolTexts texts = englishText, QWidget* parent = nullptr);

    QLabel* Title = nullptr;
    QLabel* Computer = nullptr;
    QLabel* Processor = nullptr;
    QLabel* Memory = nullptr;
    QLabel* Video = nullptr;
    QLabel* Drive = nullptr;
    QLabel* OS = nullptr;
    QLabel* UserName = nullptr;
    QPushButton* OkButton = nullptr;
    QTimer& TitleTimer() { return titleTimer_; }

    // Fills every value again (what activating the window does).
    void FormActivate();

public slots:
    void TitleTimerTick();

protected:
    bool event(QEvent* e) override;
    void done(int result) override;

private:
    SystemInfoSource source_;
    QString bytesWord_;
    QTimer titleTimer_;
};

}  // namespace kv
