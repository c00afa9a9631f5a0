#pragma once
// The dialogs of the file commands, with the controls of the old forms by name. They only
// hold controls and their texts; fileops_commands.cpp runs them and does the work.
#include <QDialog>

class QCheckBox;
class QComboBox;
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

// Attributes of the entry under the cursor. Read-only stands for the write bits; hidden,
// system and archive follow from the name and the kind and are shown, not changed; the
// nine permission bits sit beside them.
class TFormAttrib : public QDialog {
    Q_OBJECT
public:
    explicit TFormAttrib(QWidget* parent = nullptr);
    // False when the entry cannot be read (nothing to show).
    bool activate(const FileOpsContext& ctx);
    // The permission bits the boxes say (the other mode bits are the caller's).
    unsigned chosenPermissions() const;

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

    unsigned oldMode = 0;
};

}  // namespace kv
