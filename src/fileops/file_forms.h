#pragma once
// The dialogs of the file commands, with the controls of the old forms by name. They only
// hold controls and their texts; fileops_commands.cpp runs them and does the work.
#include <QDateTime>
#include <QDialog>

#include <string>
#include <vector>

#include "fileops/engine/attributes.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace kv {

struct FileOpsContext;

// Copy: from (the entry under the cursor, editable, or "Copy n file(s)"), to (the other
// panel's folder).
class TFormCopy : public QDialog {
    Q_OBJECT
public:
    explicit TFormCopy(QWidget* parent = nullptr);
    void activate(const FileOpsContext& ctx);

    QGroupBox* GB1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    // The old progress page; the job's own progress window is used instead.
    QGroupBox* GB2 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QProgressBar* Progress1 = nullptr;
    QProgressBar* Progress2 = nullptr;
};

class TFormDelete : public QDialog {
    Q_OBJECT
public:
    explicit TFormDelete(QWidget* parent = nullptr);
    void activate(const FileOpsContext& ctx);

    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;  // the question
    QLabel* Label2 = nullptr;  // what is deleted
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
};

class TFormRenMove : public QDialog {
    Q_OBJECT
public:
    explicit TFormRenMove(QWidget* parent = nullptr);
    // inPlace (Alt+F6): the entry's own name is proposed, to be edited where it is.
    void activate(const FileOpsContext& ctx, bool inPlace);

    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
};

class TFormNewDir : public QDialog {
    Q_OBJECT
public:
    explicit TFormNewDir(QWidget* parent = nullptr);
    void activate(const FileOpsContext& ctx);

    QGroupBox* GroupBox1 = nullptr;
    QComboBox* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

public slots:
    void accept() override;  // an empty name keeps the dialog open
};

class TFormNewFile : public QDialog {
    Q_OBJECT
public:
    explicit TFormNewFile(QWidget* parent = nullptr);
    void activate(const FileOpsContext& ctx);

    QGroupBox* GroupBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
};

// Attributes of the chosen entries (the selection, else the entry under the cursor).
// Read-only stands for the write bits; hidden, system and archive follow from the name and
// the kind and are shown, not changed; the nine permission bits sit beside them, with the
// mode in octal, the owner, the group and the modification time. Where the entries differ
// a box shows its third state, and a box left so changes nothing.
class TFormAttrib : public QDialog {
    Q_OBJECT
public:
    explicit TFormAttrib(QWidget* parent = nullptr);
    // False when no entry can be read (nothing to show); `unreadable` says why.
    bool activate(const FileOpsContext& ctx, const std::vector<std::string>& paths,
                  std::vector<fileops::Failure>& unreadable);
    // What the user changed; owner and group names that name nobody are left in `error`.
    fileops::AttributeChange chosenChange(std::string& error) const;

    QFrame* Bevel1 = nullptr;
    QLabel* FileDirName = nullptr;
    QLabel* FilePathName = nullptr;
    QLabel* ChangeDate = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QGroupBox* AttributesBox = nullptr;
    QCheckBox* ReadOnly = nullptr;
    QCheckBox* Archive = nullptr;
    QCheckBox* System = nullptr;
    QCheckBox* Hidden = nullptr;
    QGroupBox* PermissionsBox = nullptr;
    QCheckBox* Permission[9] = {};  // owner rwx, group rwx, others rwx
    QLineEdit* Octal = nullptr;     // "0644"; empty where the entries differ
    QComboBox* Owner = nullptr;     // changeable by the superuser only
    QComboBox* Group = nullptr;     // the owner's own groups, or any for the superuser
    QDateTimeEdit* ModTime = nullptr;

private:
    void showOctal();
    void octalEdited(const QString& text);

    fileops::SharedAttributes shared_;
    QString ownerShown_, groupShown_;
    QDateTime timeShown_;
    bool octalTyped_ = false;
};

}  // namespace kv
