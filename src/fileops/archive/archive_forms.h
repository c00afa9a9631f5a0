#pragma once
// The dialogs of the archive commands, with the controls of the old forms by name. They
// hold controls and check what was typed; archive_commands.cpp runs them.
#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kv {

// "Extract files": the target folder (the other panel's folder at first), the archive's
// password and what to do with files that exist already.
class TFormExtract : public QDialog {
    Q_OBJECT
public:
    explicit TFormExtract(QWidget* parent = nullptr);

    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* Edit1 = nullptr;  // target folder
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;  // password
    QLabel* Label3 = nullptr;
    QComboBox* Overwrite = nullptr;  // ask, overwrite all, skip existing (in that order)
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
};

// "Add to archive": the ZIP to write, the password twice, delete after archiving.
class TFormAdding : public QDialog {
    Q_OBJECT
public:
    explicit TFormAdding(QWidget* parent = nullptr);

    QGroupBox* GroupBox1 = nullptr;
    QComboBox* ComboBox1 = nullptr;  // archive path
    QLabel* Label1 = nullptr;
    QComboBox* ComboBox2 = nullptr;  // switches, kept for the old layout, not read
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr;  // password
    QLabel* Label3 = nullptr;
    QLineEdit* Edit2 = nullptr;  // confirmation
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;  // Options: nothing to set yet
    QPushButton* Button3 = nullptr;  // Save: nothing to save yet
    QPushButton* Button4 = nullptr;

public slots:
    // Two different passwords keep the dialog open: an archive nobody can open is not made.
    void accept() override;
};

}  // namespace kv
