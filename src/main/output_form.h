#pragma once
// The output window of typed commands and the console that runs them. A command runs
// through the shell in the active panel's folder; the window opens only when a command
// prints something (or cannot start), follows the output as it comes, keeps the last
// OutputLines::kMaxLines lines, and Esc closes it. GUI programs that print nothing never
// open it.
#include <QPlainTextEdit>
#include <QWidget>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "main/output_lines.h"
#include "platform/command_runner.h"

namespace kv {

class TOutputForm : public QWidget {
    Q_OBJECT
public:
    explicit TOutputForm(QWidget* owner);

    // Adds finished lines, and shows `open` (the line still being written) below them in
    // place of the one shown before.
    void addLines(const std::vector<std::string>& lines, const std::string& open);
    QString text() const { return view_->toPlainText(); }
    int lineCount() const { return view_->blockCount(); }
    QPlainTextEdit* view() const { return view_; }

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    QPlainTextEdit* view_;
    bool openShown_ = false;
};

class TCommandConsole : public QObject {
    Q_OBJECT
public:
    explicit TCommandConsole(QWidget* owner);
    ~TCommandConsole() override;

    // Starts `sh -c text` in folder; the result says why when it could not start.
    platform::LaunchResult run(const std::string& text, const std::string& folder);

    // The window, once a command has printed something (null before).
    TOutputForm* window() const { return window_; }
    // Commands whose shell has not ended yet.
    int runningCount() const;

signals:
    // A command's shell has ended with this exit code.
    void commandEnded(const QString& text, int exitCode);

private:
    struct Job {
        std::string text;
        platform::CommandRunner runner;
        OutputLines lines;
        bool printed = false;
        bool ended = false;
    };
    void pump(std::uint64_t id);
    void ended(std::uint64_t id, int exitCode);
    void show(Job& job, const std::vector<std::string>& lines, const std::string& open);
    // Output of job `id` comes next: the header goes first when another job was shown last.
    void lastShownIs(std::uint64_t id);
    void forgetFinished();

    QWidget* owner_;
    TOutputForm* window_ = nullptr;
    std::map<std::uint64_t, std::unique_ptr<Job>> jobs_;
    std::uint64_t nextId_ = 1;
    std::uint64_t lastShown_ = 0;  // the job whose output the window shows last
    bool headerPending_ = false;
};

}  // namespace kv
