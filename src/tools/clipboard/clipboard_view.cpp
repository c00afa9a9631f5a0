#include "tools/clipboard/clipboard_view.h"

#include <QColor>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QUrl>

namespace kv {

ClipboardView::ClipboardView(ToolTexts texts, QClipboard::Mode mode, QWidget* parent)
    : QStackedWidget(parent), texts_(std::move(texts)), mode_(mode) {
    files_ = new QListWidget;
    pictureArea_ = new QScrollArea;
    picture_ = new QLabel;
    picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pictureArea_->setWidget(picture_);
    pictureArea_->setWidgetResizable(true);
    text_ = new QPlainTextEdit;
    text_->setReadOnly(true);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    note_ = new QLabel;
    note_->setAlignment(Qt::AlignCenter);
    note_->setWordWrap(true);
    for (QWidget* w : {static_cast<QWidget*>(note_), static_cast<QWidget*>(files_),
                       static_cast<QWidget*>(pictureArea_), static_cast<QWidget*>(text_)})
        addWidget(w);

    QClipboard* clipboard = QGuiApplication::clipboard();
    connect(clipboard, &QClipboard::changed, this, [this](QClipboard::Mode changed) {
        if (changed == mode_) refresh();
    });
    refresh();
}

void ClipboardView::refresh() { showData(QGuiApplication::clipboard()->mimeData(mode_)); }

void ClipboardView::showData(const QMimeData* data) {
    const QStringList formats = data ? data->formats() : QStringList{};
    if (formats.isEmpty()) {
        shown_ = Shown::Empty;
        note_->setText(texts_("Empty", "The clipboard is empty"));
        setCurrentWidget(note_);
        return;
    }
    // A copied file list also carries its paths as text: the list says more.
    if (data->hasUrls() && !data->urls().isEmpty()) {
        shown_ = Shown::Files;
        files_->clear();
        for (const QUrl& url : data->urls())
            files_->addItem(url.isLocalFile() ? url.toLocalFile() : url.toDisplayString());
        setCurrentWidget(files_);
        return;
    }
    if (data->hasImage()) {
        const QImage image = qvariant_cast<QImage>(data->imageData());
        if (!image.isNull()) {
            shown_ = Shown::Picture;
            picture_->setPixmap(QPixmap::fromImage(image));
            setCurrentWidget(pictureArea_);
            return;
        }
    }
    if (data->hasColor()) {
        const QColor colour = qvariant_cast<QColor>(data->colorData());
        if (colour.isValid()) {
            shown_ = Shown::Colour;
            QPixmap swatch(64, 64);
            swatch.fill(colour);
            picture_->setPixmap(swatch);
            setCurrentWidget(pictureArea_);
            return;
        }
    }
    if (data->hasText() || data->hasHtml()) {
        shown_ = Shown::Text;
        text_->setPlainText(data->hasText() ? data->text() : data->html());
        setCurrentWidget(text_);
        return;
    }
    shown_ = Shown::Unknown;
    note_->setText(texts_("Unknown", "The clipboard holds data this viewer cannot show:")
                       .append(QStringLiteral("\n%1"))
                       .arg(formats.join(QLatin1Char('\n'))));
    setCurrentWidget(note_);
}

}  // namespace kv
