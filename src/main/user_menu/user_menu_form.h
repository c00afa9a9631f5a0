#pragma once
// The user menu (F2): a list of named commands the user keeps, started and edited in one small
// dialog. The entries live in kv.mnu beside kv.ini (menu_file.h); edits made after "&Options"
// are written back when the dialog closes, whichever way it closes.
#include <QDialog>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "main/user_menu/menu_file.h"
#include "main/user_menu/menu_launch.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kv {

class TFormMenu : public QDialog {
    Q_OBJECT
public:
    // The window's heights with the old frame, collapsed and with the edit buttons.
    static constexpr int kCollapsedHeight = 250;
    static constexpr int kExpandedHeight = 283;

    TFormMenu(QWidget* parent, std::filesystem::path menuFile, const std::string& language);

    QListWidget* ListBox1 = nullptr;  // the captions
    QStringList ComList;              // the commands, in the same order
    QPushButton* Button1 = nullptr;   // &Start
    QPushButton* Button2 = nullptr;   // &Cancel
    QPushButton* Button3 = nullptr;   // &Options
    QPushButton* Button4 = nullptr;   // &Insert
    QPushButton* Button5 = nullptr;   // &Delete
    QPushButton* Button6 = nullptr;   // &Change
    QLineEdit* Edit1 = nullptr;       // caption
    QLineEdit* Edit2 = nullptr;       // command
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    // Set by "&Options": the list is written back on close.
    bool MenuChanged = false;

    // The height the old window would have now (kCollapsedHeight or kExpandedHeight).
    int windowHeight() const { return windowHeight_; }
    bool editing() const { return editing_; }
    std::vector<MenuEntry> entries() const;
    const std::filesystem::path& menuFile() const { return menuFile_; }

    // Starts a command; tests put their own here.
    std::function<platform::LaunchResult(const MenuLaunch&)> Launch = StartMenuCommand;

    void All_Init();
    // Reads kv.mnu into the lists; the damage of a damaged file is returned (empty: whole).
    std::string Load_Menu();
    // Writes the lists to kv.mnu; the reason when that failed (empty: written).
    std::string Save_Menu();

    void Button1Click();  // Start
    void Button3Click();  // Options
    void Button4Click();  // Insert
    void Button5Click();  // Delete
    void Button6Click();  // Change

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setWindowHeight(int oldHeight);
    void enterEditMode(bool inserting);
    std::filesystem::path menuFile_;
    int windowHeight_ = kCollapsedHeight;
    bool editing_ = false;
    bool loaded_ = false;
};

}  // namespace kv
