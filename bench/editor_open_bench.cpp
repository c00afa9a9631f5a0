// How long a 20 MB text file takes to open in the editor (read, decode, fill the text area,
// first paint), and how long a typed key takes in it afterwards (at the start, in the middle
// and at the end, each with its repaint). Beside it, the time `cat` takes to read the file.
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QKeyEvent>
#include <QTextCursor>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "viewers/editor/form_edit.h"

namespace {

void press(QWidget* w, int key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier,
                   key == Qt::Key_A   ? "a"
                   : key == Qt::Key_B ? "b"
                                      : "");
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &up);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    char tmpl[] = "/tmp/editor_open_bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;

    struct Case {
        const char* name;
        std::string eol;
        bool cyrillic;
    } cases[] = {{"LF, ASCII", "\n", false}, {"CR LF, Russian UTF-8", "\r\n", true}};
    for (const Case& c : cases) {
        const std::string path = dir + "/big.txt";
        {
            std::ofstream out(path, std::ios::binary);
            std::size_t written = 0;
            for (int line = 0; written < 20'000'000; ++line) {
                std::string s = c.cyrillic ? "Строка " : "Line ";
                s += std::to_string(line);
                s += c.cyrillic ? ": съешь же ещё этих мягких французских булок, да выпей чаю"
                                : ": the quick brown fox jumps over the lazy dog, again and again";
                s += c.eol;
                out << s;
                written += s.size();
            }
        }
        std::vector<double> opens;
        QElapsedTimer t;
        kv::TFormEdit* editor = nullptr;
        for (int round = 0; round < 3; ++round) {
            if (editor) {
                editor->Memo1->document()->setModified(false);
                editor->close();
                QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
            t.start();
            QString error;
            editor = kv::TFormEdit::Open(nullptr, path, {}, &error);
            if (!editor) {
                std::printf("cannot open: %s\n", error.toUtf8().constData());
                return 1;
            }
            editor->resize(1024, 768);
            editor->repaint();
            opens.push_back(t.nsecsElapsed() / 1e6);
        }
        std::vector<double> keys;
        for (QTextCursor::MoveOperation where : {QTextCursor::Start, QTextCursor::End}) {
            editor->Memo1->moveCursor(where);
            for (int i = 0; i < 30; ++i) {
                t.start();
                press(editor->Memo1, Qt::Key_A);
                editor->Memo1->viewport()->repaint();
                keys.push_back(t.nsecsElapsed() / 1e6);
            }
        }
        QScrollBar* bar = editor->Memo1->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        for (int i = 0; i < 30; ++i) {
            t.start();
            press(editor->Memo1, Qt::Key_B);
            editor->Memo1->viewport()->repaint();
            keys.push_back(t.nsecsElapsed() / 1e6);
        }
        t.start();
        const std::string cat = "cat '" + path + "' > /dev/null";
        if (std::system(cat.c_str()) != 0) return 1;
        const double catMs = t.nsecsElapsed() / 1e6;
        std::printf(
            "%-22s open %6.0f ms (goal 1000 ms; cat %4.0f ms), key median %5.2f ms, slowest %5.1f ms\n",
            c.name, median(opens), catMs, median(keys), *std::max_element(keys.begin(), keys.end()));
        editor->Memo1->document()->setModified(false);
        editor->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        std::remove(path.c_str());
    }
    ::rmdir(dir.c_str());
    return 0;
}
