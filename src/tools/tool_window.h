#pragma once
// What the tool windows share: how they get their texts, and how they are shown.
#include <QString>

#include <functional>

class QObject;
class QWidget;

namespace kv {

// A window's text for `key` of its language section; `english` is the built-in text.
using ToolTexts = std::function<QString(const char* key, const char* english)>;

// The built-in English texts.
QString englishText(const char* key, const char* english);

// Shows `window` modeless, as a window of its own with its own task-bar button. It frees
// itself when closed, never keeps the program running, and goes when `owner` goes.
void showToolWindow(QWidget* window, QObject* owner);

}  // namespace kv
