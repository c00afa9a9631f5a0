#pragma once
#include <QDialog>

namespace kv {

// "Information": the program's name and version, a way to the About dialog and the
// home page.
class TFormHelp : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kHomePage = "https://korvalen.example.org/";
    TFormHelp(QWidget* parent, const QString& caption, const QString& build);

protected:
    void showEvent(QShowEvent* event) override;

signals:
    void aboutRequested();
};

}  // namespace kv
