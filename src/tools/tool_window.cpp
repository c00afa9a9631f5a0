#include "tools/tool_window.h"

#include <QObject>
#include <QWidget>

namespace kv {

QString englishText(const char*, const char* english) { return QString::fromUtf8(english); }

void showToolWindow(QWidget* window, QObject* owner) {
    // No parent: a parented window would be a transient of the main window and lose its
    // own task-bar button. The owner's end takes it along instead.
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setAttribute(Qt::WA_QuitOnClose, false);
    // The connection dies with the window, so a window closed first is never deleted twice.
    if (owner) QObject::connect(owner, &QObject::destroyed, window, [window] { delete window; });
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace kv
