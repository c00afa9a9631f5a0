#pragma once
// Multi-rename of the active panel's selection (or the entry under the cursor): the
// TFormMultiRename dialog with its live preview, and the commands that run it and undo the
// last one. The names and the renames themselves are rename/multi_rename's.
#include <QDialog>

#include <string>
#include <vector>

#include "fileops/rename/multi_rename.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace kv {

struct FileOpsContext;

class TFormMultiRename : public QDialog {
    Q_OBJECT
public:
    // `folder`: where the sources are; their names and times are read there.
    TFormMultiRename(const std::string& folder, const std::vector<std::string>& names,
                     QWidget* parent = nullptr);

    fileops::RenameRules rules() const;
    // The preview for the rules shown, against the folder's names as last read.
    fileops::RenamePreview preview() const;
    // Recomputes the table, the summary and whether Rename may be pressed; the folder's
    // names are read again when it has changed since (and always when Rename is pressed).
    void refresh();

    QLineEdit* NameMask = nullptr;
    QLineEdit* ExtMask = nullptr;
    QLineEdit* Search = nullptr;
    QLineEdit* Replace = nullptr;
    QCheckBox* RegexBox = nullptr;
    QComboBox* CaseBox = nullptr;  // As is, UPPER, lower
    QSpinBox* CounterStart = nullptr;
    QSpinBox* CounterStep = nullptr;
    QSpinBox* CounterDigits = nullptr;
    QTableWidget* Preview = nullptr;  // old name, new name, problem
    QLabel* Summary = nullptr;
    QPushButton* RenameBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

private:
    std::string folder_;
    std::vector<fileops::RenameSource> sources_;
    std::vector<std::string> folderNames_;
    void readFolder(bool always);
    std::int64_t stampSec_ = -1, stampNsec_ = -1;
    bool stampRecent_ = true;  // a change within the same clock tick would keep the stamp
};

namespace fileops_ui {

// The names now in `folder` (hidden ones too, whatever the panel shows).
std::vector<std::string> FolderNames(const std::string& folder);

void MultiRenameCommand(const FileOpsContext& ctx);
void UndoMultiRenameCommand(const FileOpsContext& ctx);
// The last multi-rename of the session.
fileops::RenameUndo& LastMultiRename();

}  // namespace fileops_ui

}  // namespace kv
