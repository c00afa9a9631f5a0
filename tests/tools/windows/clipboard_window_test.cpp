// The clipboard viewer: which form each kind of content is shown in, that a change of the
// clipboard shows at once, and the bounds it opens with and gives back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <functional>

#include "tools/clipboard/clip_form.h"
#include "tools/clipboard/clipboard_view.h"

namespace {

using Shown = kv::ClipboardView::Shown;

void app() {
    if (qApp) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tools_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

TEST(ClipboardView, ChoosesTheFormThatSaysMost) {
    app();
    kv::ClipboardView view;
    struct Row {
        const char* what;
        std::function<void(QMimeData&)> fill;
        Shown shown;
    };
    QImage red(4, 3, QImage::Format_RGB32);
    red.fill(Qt::red);
    const Row rows[] = {
        {"nothing", [](QMimeData&) {}, Shown::Empty},
        {"text", [](QMimeData& d) { d.setText(QStringLiteral("hello\nworld")); }, Shown::Text},
        {"html only", [](QMimeData& d) { d.setHtml(QStringLiteral("<b>bold</b>")); }, Shown::Text},
        // A copied file list carries its paths as text too: the list wins.
        {"files",
         [](QMimeData& d) {
             d.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/me/a.txt")),
                        QUrl::fromLocalFile(QStringLiteral("/home/me/b c.png"))});
             d.setText(QStringLiteral("/home/me/a.txt\n/home/me/b c.png"));
         },
         Shown::Files},
        {"picture", [&](QMimeData& d) { d.setImageData(red); }, Shown::Picture},
        {"colour", [](QMimeData& d) { d.setColorData(QColor(Qt::blue)); }, Shown::Colour},
        {"unknown", [](QMimeData& d) { d.setData(QStringLiteral("application/x-strange"), "\x01\x02"); },
         Shown::Unknown},
    };
    for (const auto& r : rows) {
        QMimeData data;
        r.fill(data);
        view.showData(&data);
        EXPECT_EQ(view.shown(), r.shown) << r.what;
    }

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/me/a.txt")),
                   QUrl(QStringLiteral("https://example.org/x"))});
    view.showData(&files);
    ASSERT_EQ(view.files()->count(), 2);
    EXPECT_EQ(view.files()->item(0)->text(), QStringLiteral("/home/me/a.txt"));
    EXPECT_EQ(view.files()->item(1)->text(), QStringLiteral("https://example.org/x"));

    QMimeData picture;
    picture.setImageData(red);
    view.showData(&picture);
    EXPECT_EQ(view.picture()->pixmap().size(), QSize(4, 3));

    QMimeData odd;
    odd.setData(QStringLiteral("application/x-strange"), "x");
    view.showData(&odd);
    EXPECT_TRUE(view.note()->text().contains(QStringLiteral("application/x-strange")));
    view.showData(nullptr);
    EXPECT_EQ(view.shown(), Shown::Empty);
}

TEST(ClipboardView, FollowsTheClipboardAtOnce) {
    app();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("first"));
    kv::TFormClip w(QRect(0, 0, 0, 0));
    EXPECT_EQ(w.View->shown(), Shown::Text);
    EXPECT_EQ(w.View->text()->toPlainText(), QStringLiteral("first"));
    clipboard->setText(QStringLiteral("second, copied while the viewer is open"));
    EXPECT_EQ(w.View->text()->toPlainText(), QStringLiteral("second, copied while the viewer is open"));
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/x"))});
    clipboard->setMimeData(files);
    EXPECT_EQ(w.View->shown(), Shown::Files);
    clipboard->clear();
    EXPECT_EQ(w.View->shown(), Shown::Empty);
}

TEST(ClipboardWindow, BoundsInAndOutAndTheCentredButton) {
    app();
    {
        // A first use: nothing kept yet.
        kv::TFormClip w(QRect(0, -5, 0, -1));
        EXPECT_EQ(w.bounds(), QRect(50, 50, 300, 300));
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Clipboard viewer"));
    }
    kv::TFormClip w(QRect(120, 80, 420, 260),
                    [](const char* key, const char*) { return QString::fromUtf8(key); });
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Caption"));
    w.show();
    EXPECT_EQ(w.bounds(), QRect(120, 80, 420, 260));
    w.resize(501, 333);
    EXPECT_EQ(w.OkButton->x(), (501 - w.OkButton->width()) / 2);
    EXPECT_GE(w.OkButton->y(), 333 - kv::TFormClip::kStripHeight);
    EXPECT_EQ(w.View->geometry(), QRect(0, 0, 501, 333 - kv::TFormClip::kStripHeight));
    w.move(200, 150);
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.bounds(), QRect(200, 150, 501, 333));
    if (const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR"); !dir.isEmpty()) {
        QGuiApplication::clipboard()->setText(QStringLiteral("Some copied text\nand a second line"));
        w.show();
        w.grab().save(dir + QStringLiteral("/clipboard_viewer.png"));
    }
}

}  // namespace
