#pragma once
// TForm2, the installer's folder picker: a drive box (the home folder and the mounted file
// systems) over a folder list that shows the way down from "/" to the current folder and the
// folders inside it; a double click or Enter on a row opens it.
#include <QDialog>
#include <QString>

class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace kv::setup {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    // The folder the list shows (absolute, no trailing "/" but for the root).
    QString Directory() const { return directory_; }
    void SetDirectory(const QString& folder);

    QComboBox* DriveComboBox1 = nullptr;
    QListWidget* DLB1 = nullptr;
    QPushButton* Button1 = nullptr;  // OK
    QPushButton* Button2 = nullptr;  // Cancel

private:
    void fillDrives();
    void openRow(QListWidgetItem* item);

    QString directory_;
};

}  // namespace kv::setup
