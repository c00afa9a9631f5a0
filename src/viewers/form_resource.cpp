#include "viewers/form_resource.h"

#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryFile>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/display_text.h"
#include "platform/launcher.h"
#include "viewers/dialog_preview.h"
#include "viewers/exe/binary_form.h"
#include "viewers/exe/dialog_template.h"
#include "viewers/exe/resource_items.h"
#include "viewers/exe/resource_types.h"
#include "viewers/exe/version_info.h"
#include "viewers/hex_dump.h"

namespace kv {

namespace {

constexpr int kItemRole = Qt::UserRole;

exe::TResourceItem* itemOf(const QTreeWidgetItem* node) {
    return node ? reinterpret_cast<exe::TResourceItem*>(node->data(0, kItemRole).value<quintptr>()) : nullptr;
}

// The image list's pictures: folder, open folder, resource, icon, cursor, bitmap.
QIcon imageFor(int index) {
    static const QStyle::StandardPixmap kPixmaps[] = {QStyle::SP_DirIcon,  QStyle::SP_DirOpenIcon,
                                                      QStyle::SP_FileIcon, QStyle::SP_DesktopIcon,
                                                      QStyle::SP_ArrowUp,  QStyle::SP_FileDialogContentsView};
    return QApplication::style()->standardIcon(kPixmaps[index]);
}

int imageIndexOf(const exe::TResourceItem& item) {
    if (item.isList()) return 0;
    switch (item.resourceType()) {
        case exe::kCursorImage: return 4;
        case exe::kBitmap: return 5;
        case exe::kIconImage: return 3;
        default: return 2;
    }
}

QString shown(const std::string& name) { return QString::fromStdString(platform::visibleControls(name)); }

const QStringList kSaveFilters = {
    QStringLiteral("Other Resource (*)"), QStringLiteral("Bitmaps (*.BMP *.bmp)"),
    QStringLiteral("Icons (*.ICO *.ico)"), QStringLiteral("Cursor (*.CUR *.cur)")};

}  // namespace

TFormResource::TFormResource(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("FormResource"));
    showError = [this](const QString& text) { QMessageBox::critical(this, QStringLiteral("Error"), text); };
    askSaveName = [this](const QString& proposed, int filterIndex) {
        QFileDialog dialog(this, QStringLiteral("Save resource as"), QDir::current().filePath(proposed));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters(kSaveFilters);
        dialog.selectNameFilter(kSaveFilters.value(filterIndex - 1, kSaveFilters.front()));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().front()
                   : QString();
    };
    openVideo = [this](const QString& path) {
        auto r = platform::runDetached({"xdg-open", path.toStdString()}, "");
        if (!r.ok) showError(QString::fromStdString(r.message));
    };
    buildWindow();
}

TFormResource::~TFormResource() { removeVideos(); }

TFormResource* TFormResource::of(QWidget* mainWindow) {
    if (auto* f = mainWindow->findChild<TFormResource*>(QString(), Qt::FindDirectChildrenOnly)) return f;
    return new TFormResource(mainWindow);
}

bool TFormResource::openFromCommandLine(QWidget* mainWindow, const QStringList& arguments) {
    if (arguments.size() < 2 || !QFileInfo(arguments.at(1)).isFile()) return false;
    TFormResource* f = of(mainWindow);
    f->show();
    f->SetFile(QFileInfo(arguments.at(1)).absoluteFilePath());
    return true;
}

bool TFormResource::isExecutableName(const QString& path) {
    const QString lower = path.toLower();
    return lower.endsWith(QLatin1String(".exe")) || lower.endsWith(QLatin1String(".dll"));
}

void TFormResource::buildWindow() {
    setWindowTitle(QStringLiteral("Resource Browser"));
    resize(640, 440);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* top = new QWidget(this);
    top->setFixedHeight(25);
    auto* bar = new QHBoxLayout(top);
    bar->setContentsMargins(1, 1, 1, 1);
    bar->setSpacing(1);
    save_ = new QToolButton(top);
    save_->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    save_->setToolTip(QStringLiteral("Save resource as..."));
    save_->setEnabled(false);
    connect(save_, &QToolButton::clicked, this, &TFormResource::saveSelected);
    auto* exit = new QToolButton(top);
    exit->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    exit->setToolTip(QStringLiteral("Exit out here"));
    connect(exit, &QToolButton::clicked, this, &QWidget::close);
    caption_ = new QLabel(top);
    caption_->setFrameShape(QFrame::Panel);
    caption_->setFrameShadow(QFrame::Sunken);
    bar->addWidget(save_);
    bar->addWidget(exit);
    bar->addWidget(caption_, 1);
    outer->addWidget(top);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setHandleWidth(3);
    split->setChildrenCollapsible(false);
    tree_ = new QTreeWidget(split);
    tree_->setHeaderHidden(true);
    tree_->setMinimumWidth(30);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { treeSelectionChanged(); });
    connect(tree_, &QWidget::customContextMenuRequested, this, &TFormResource::treeContextMenu);
    pages_ = new QStackedWidget(split);
    pages_->setMinimumWidth(30);
    split->addWidget(tree_);
    split->addWidget(pages_);
    split->setSizes({157, 480});
    split->setStretchFactor(1, 1);
    outer->addWidget(split, 1);

    // Page 0: the children of a folder, in four views.
    auto* listPage = new QWidget;
    auto* listLayout = new QVBoxLayout(listPage);
    listLayout->setContentsMargins(0, 0, 0, 0);
    auto* views = new QToolBar(listPage);
    listViews_ = new QStackedWidget(listPage);
    list_ = new QTreeWidget(listViews_);
    list_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Offset"), QStringLiteral("Size")});
    list_->setColumnWidth(0, 150);
    list_->setColumnWidth(1, 80);
    list_->setColumnWidth(2, 80);
    list_->header()->setSectionsClickable(false);
    list_->setRootIsDecorated(false);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, &TFormResource::listContextMenu);
    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            [this] { save_->setEnabled(!list_->selectedItems().isEmpty()); });
    icons_ = new QListWidget(listViews_);
    listViews_->addWidget(list_);
    listViews_->addWidget(icons_);
    auto* group = new QActionGroup(views);
    const struct {
        const char* text;
        int mode;  // 0 large, 1 small, 2 list, 3 details
    } kViews[] = {{"Large Icons", 0}, {"Small Icons", 1}, {"List", 2}, {"Details", 3}};
    for (const auto& v : kViews) {
        QAction* a = views->addAction(QString::fromLatin1(v.text));
        a->setCheckable(true);
        a->setChecked(v.mode == 3);
        group->addAction(a);
        const int mode = v.mode;
        connect(a, &QAction::triggered, this, [this, mode] {
            if (mode == 3) return listViews_->setCurrentWidget(list_);
            icons_->setViewMode(mode == 0 ? QListView::IconMode : QListView::ListMode);
            icons_->setIconSize(mode == 0 ? QSize(32, 32) : QSize(16, 16));
            icons_->setFlow(mode == 2 ? QListView::TopToBottom : QListView::LeftToRight);
            icons_->setWrapping(true);
            listViews_->setCurrentWidget(icons_);
        });
    }
    listLayout->addWidget(views);
    listLayout->addWidget(listViews_, 1);
    pages_->addWidget(listPage);

    // Page 1: a picture, centred.
    auto* scroll = new QScrollArea;
    picture_ = new QLabel;
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(picture_, &QWidget::customContextMenuRequested, this, &TFormResource::listContextMenu);
    scroll->setWidget(picture_);
    scroll->setWidgetResizable(true);
    pages_->addWidget(scroll);

    // Page 2: text.
    text_ = new QPlainTextEdit;
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    pages_->addWidget(text_);

    // Page 3: the hex dump.
    hex_ = new THexDump;
    pages_->addWidget(hex_);

    // Page 4: version information.
    auto* versionPage = new QWidget;
    auto* versionLayout = new QVBoxLayout(versionPage);
    versionLayout->setContentsMargins(0, 0, 0, 0);
    version_ = new QTreeWidget(versionPage);
    version_->setHeaderLabels({QStringLiteral("VI string"), QStringLiteral("Value")});
    version_->setColumnWidth(0, 100);
    version_->setColumnWidth(1, 300);
    version_->setRootIsDecorated(false);
    const exe::VersionRows blank = exe::versionRows({});
    for (const auto& name : blank.names)
        new QTreeWidgetItem(version_, {QString::fromStdString(name), QString()});
    language_ = new QLabel(versionPage);
    versionLayout->addWidget(version_, 1);
    versionLayout->addWidget(language_);
    versionLayout->addWidget(
        new QLabel(QStringLiteral("Why Microsoft always makes simple things so complex?"), versionPage));
    pages_->addWidget(versionPage);

    // Page 5: messages.
    auto* messagePage = new QWidget;
    auto* messageLayout = new QVBoxLayout(messagePage);
    message_ = new QLabel(QStringLiteral("Welcome to Resource Browser!"), messagePage);
    QFont big(QStringLiteral("Times New Roman"), 12);
    big.setBold(true);
    big.setItalic(true);
    message_->setFont(big);
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    auto* notes = new QPlainTextEdit(messagePage);
    notes->setObjectName(QStringLiteral("notes"));
    notes->setReadOnly(true);
    messageLayout->addWidget(message_, 1);
    messageLayout->addWidget(notes, 1);
    pages_->addWidget(messagePage);

    // Page 6: video, which the desktop's player shows.
    video_ = new QLabel;
    video_->setAlignment(Qt::AlignCenter);
    video_->setWordWrap(true);
    pages_->addWidget(video_);

    auto* status = new QStatusBar(this);
    for (int i = 0; i < 2; ++i) {
        status_[i] = new QLabel(status);
        status_[i]->setFixedWidth(i == 0 ? 150 : 500);
        status->addWidget(status_[i]);
    }
    status->setSizeGripEnabled(true);
    outer->addWidget(status);

    auto* f2 = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(f2, &QShortcut::activated, this, &TFormResource::saveSelected);
    setPage(kMessagePage);
}

// ---------------------------------------------------------------- opening

void TFormResource::SetFile(const QString& path) {
    if (!QFileInfo::exists(path)) return;
    clearing_ = true;
    tree_->clear();
    clearing_ = false;
    std::unique_ptr<exe::TExeImage> opened;
    try {
        opened = std::make_unique<exe::TExeImage>(path.toStdString());
    } catch (const exe::EExeError& e) {
        showError(QString::fromStdString(e.what()));
        return;
    }
    removeVideos();
    image_ = std::move(opened);
    if (image_->status() == exe::TExeImage::kNotPE) return showMessage(QStringLiteral("Not a PE file."));

    list_->clear();
    icons_->clear();
    clearing_ = true;
    tree_->clearSelection();
    tree_->clear();
    clearing_ = false;
    if (exe::TResourceList* root = image_->resources()) fillTree(*root, nullptr);
    if (image_->status() == exe::TExeImage::kNoResources) return showMessage(QStringLiteral("No resources."));
    setWindowTitle(QStringLiteral("%1 - %2").arg(QStringLiteral("Fendaro"), path));
    tree_->setFocus();
    if (tree_->topLevelItemCount() > 0) tree_->setCurrentItem(tree_->topLevelItem(0));
    if (!image_->problems().empty()) {
        // What could not be read is said, on the message page, over the first view.
        QStringList lines;
        for (const auto& p : image_->problems()) lines << QString::fromStdString(p);
        showMessage(QStringLiteral("Parts of this file could not be read."));
        findChild<QPlainTextEdit*>(QStringLiteral("notes"))->setPlainText(lines.join('\n'));
    }
}

void TFormResource::fillTree(exe::TResourceList& list, QTreeWidgetItem* parent) {
    for (const auto& item : list.items()) {
        auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
        node->setText(0, shown(item->name()));
        node->setData(0, kItemRole, QVariant::fromValue(quintptr(item.get())));
        node->setIcon(0, imageFor(imageIndexOf(*item)));
        if (item->isList()) fillTree(*item->subList(), node);
    }
}

// ---------------------------------------------------------------- showing

void TFormResource::treeSelectionChanged() {
    if (clearing_) return;
    QTreeWidgetItem* node = tree_->currentItem();
    exe::TResourceItem* item = itemOf(node);
    if (!item) return;
    showItem(*item);
    save_->setEnabled(node->childCount() == 0 && !item->isList());
    if (node->childCount() > 0) tree_->expandRecursively(tree_->currentIndex());
}

void TFormResource::showItem(exe::TResourceItem& item) {
    if (item.isList()) {
        list_->clear();
        icons_->clear();
        for (const auto& child : item.subList()->items()) {
            const QIcon icon = imageFor(imageIndexOf(*child));
            auto* row = new QTreeWidgetItem(
                list_,
                {shown(child->name()), QStringLiteral("%1").arg(child->offset(), 7, 16, QLatin1Char('0')),
                 QStringLiteral("%1").arg(child->rawSize(), 5, 16, QLatin1Char('0'))});
            row->setIcon(0, icon);
            row->setData(0, kItemRole, QVariant::fromValue(quintptr(child.get())));
            new QListWidgetItem(icon, row->text(0), icons_);
        }
        setPage(kListPage);
        caption_->setText(QLatin1Char(' ') +
                          (tree_->currentItem() ? tree_->currentItem()->text(0) : QString()));
        status_[0]->setText(QStringLiteral(" %1 object(s)").arg(list_->topLevelItemCount()));
        status_[1]->setText(QStringLiteral(" Offset: %1").arg(item.offset(), 0, 16));
        return;
    }
    caption_->setText(shown(item.name()));
    status_[0]->clear();
    status_[1]->setText(QStringLiteral(" Offset: %1  Size: %2")
                            .arg(QString::number(item.offset(), 16).toUpper(),
                                 QString::number(item.rawSize(), 16).toUpper()));
    switch (item.resourceType()) {
        case exe::kCursorImage:
        case exe::kIconImage:
            if (auto* icon = dynamic_cast<exe::TIconResEntry*>(&item)) {
                const auto file = icon->iconFile();
                return showPicture(
                    QByteArray(reinterpret_cast<const char*>(file.data()), qsizetype(file.size())), "ICO");
            }
            return showByContent(item);
        case exe::kBitmap: {
            const auto file = item.fileContents();
            return showPicture(QByteArray(reinterpret_cast<const char*>(file.data()), qsizetype(file.size())),
                               "BMP");
        }
        case exe::kMenu:
        case exe::kStringTable:
        case exe::kAccelerators: {
            const auto lines = item.textLines();
            return showText(lines ? *lines : std::vector<std::string>{});
        }
        case exe::kDialog: return showDialog(item);
        case exe::kVersion: return showVersion(item);
        default: return showByContent(item);
    }
}

void TFormResource::showByContent(exe::TResourceItem& item) {
    const exe::Bytes raw = item.rawData();
    auto startsWith = [&](std::initializer_list<std::uint8_t> head, std::size_t at = 0) {
        return raw.size() >= at + head.size() && std::equal(head.begin(), head.end(), raw.begin() + at);
    };
    const QByteArray bytes(reinterpret_cast<const char*>(raw.data()), qsizetype(raw.size()));
    if (startsWith({'B', 'M'})) return showPicture(bytes, "BMP");
    if (startsWith({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F'})) return showPicture(bytes, "JPEG");
    if (startsWith({'R', 'I', 'F', 'F'}) && startsWith({'A', 'V', 'I', ' '}, 8)) return playVideo(item);
    if (exe::isBinaryForm(raw)) {
        const exe::FormText form = exe::binaryFormToText(raw);
        if (!form.error.empty()) {
            showError(
                QStringLiteral("The stored form cannot be read: %1").arg(QString::fromStdString(form.error)));
            return showHex(item);
        }
        return showText(form.lines);
    }
    showHex(item);
}

void TFormResource::showPicture(const QByteArray& file, const char* format) {
    QImage image;
    if (!image.loadFromData(file, format)) {
        showError(QStringLiteral("The picture cannot be decoded."));
        if (auto* item = itemOf(tree_->currentItem())) showHex(*item);
        return;
    }
    picture_->setPixmap(QPixmap::fromImage(image));
    setPage(kPicturePage);
}

void TFormResource::showText(const std::vector<std::string>& lines) {
    QStringList all;
    for (const auto& l : lines) all << QString::fromStdString(l);
    text_->setPlainText(all.join('\n'));
    text_->moveCursor(QTextCursor::Start);
    setPage(kTextPage);
}

void TFormResource::showHex(exe::TResourceItem& item) {
    const exe::Bytes raw = item.rawData();
    const std::uint64_t where = raw.empty() ? 0 : std::uint64_t(raw.data() - image_->fileBytes().data());
    hex_->setData(raw, where);
    setPage(kHexPage);
}

void TFormResource::showVersion(exe::TResourceItem& item) {
    // The version block of the selected resource itself, not whatever the system would find.
    const auto info = exe::parseVersionInfo(item.rawData());
    if (!info) return;
    const exe::VersionRows rows = exe::versionRows(*info);
    for (int i = 0; i < version_->topLevelItemCount() && i < int(rows.values.size()); ++i)
        version_->topLevelItem(i)->setText(1, QString::fromStdString(rows.values[i]));
    language_->setText(QString::fromStdString(rows.langCharset));
    setPage(kVersionPage);
}

void TFormResource::showDialog(exe::TResourceItem& item) {
    const auto parsed = exe::parseDialog(item.rawData());
    if (!parsed) return showMessage(QStringLiteral("Unable to create this dialog, sorry."));
    static QPointer<TDialogPreview> previous;
    if (previous) previous->close();
    auto* preview = new TDialogPreview(*parsed, this);
    previous = preview;
    QString text = QStringLiteral("Take a look!");
    if (preview->unknownControls() > 0)
        text += QStringLiteral("\n%1 control(s) of a class only its program knows are shown as frames.")
                    .arg(preview->unknownControls());
    showMessage(text);
    preview->show();
}

void TFormResource::playVideo(exe::TResourceItem& item) {
    QTemporaryFile file(QDir::temp().filePath(QStringLiteral("AVIXXXXXX.avi")));
    file.setAutoRemove(false);
    const exe::Bytes raw = item.rawData();
    if (!file.open() ||
        file.write(reinterpret_cast<const char*>(raw.data()), qint64(raw.size())) != qint64(raw.size())) {
        file.remove();
        return showError(QStringLiteral("Couldn't write the video to a temporary file."));
    }
    file.close();
    videos_.push_back(file.fileName());
    video_->setText(QStringLiteral("The video plays in the desktop's player.\nTo play again, select again."));
    setPage(kVideoPage);
    openVideo(file.fileName());
}

void TFormResource::removeVideos() {
    for (const auto& v : videos_) QFile::remove(v);
    videos_.clear();
}

void TFormResource::showMessage(const QString& text) {
    message_->setText(text);
    if (auto* notes = findChild<QPlainTextEdit*>(QStringLiteral("notes"))) notes->clear();
    setPage(kMessagePage);
}

void TFormResource::setPage(Page p) { pages_->setCurrentIndex(p); }

// ---------------------------------------------------------------- saving and menus

exe::TResourceItem* TFormResource::selectedDataItem() const {
    QTreeWidgetItem* node = tree_->currentItem();
    if (exe::TResourceItem* item = itemOf(node); item && node->childCount() == 0 && !item->isList())
        return item;
    if (pages_->currentIndex() == kListPage) {
        const auto rows = list_->selectedItems();
        if (exe::TResourceItem* item = rows.isEmpty() ? nullptr : itemOf(rows.front());
            item && !item->isList())
            return item;
    }
    return nullptr;
}

void TFormResource::saveSelected() {
    exe::TResourceItem* item = selectedDataItem();
    if (!item) return showError(QStringLiteral("No resource selected"));
    // A name from the file must not name a folder or be empty.
    QString name = QString::fromStdString(item->name());
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QChar(0), QLatin1Char('_'));
    if (name.isEmpty() || name == "." || name == "..") name = QStringLiteral("resource");
    const QString proposed = name + '.' + QString::fromStdString(exe::defaultExtension(item->resourceType()));
    const QString path = askSaveName(proposed, exe::saveFilterIndex(item->resourceType()));
    if (path.isEmpty()) return;
    try {
        item->saveToFile(path.toStdString());
    } catch (const exe::EExeError& e) {
        showError(QString::fromStdString(e.what()));
    }
}

void TFormResource::treeContextMenu(const QPoint& at) {
    if (QTreeWidgetItem* node = tree_->itemAt(at)) tree_->setCurrentItem(node);
    QMenu menu(this);
    QAction* save = menu.addAction(QStringLiteral("&Save as..."), this, &TFormResource::saveSelected);
    save->setShortcut(Qt::Key_F2);
    save->setEnabled(selectedDataItem() != nullptr);
    menu.addAction(QStringLiteral("Full &expand"), tree_, &QTreeWidget::expandAll);
    menu.addAction(QStringLiteral("Full &collapse"), tree_, &QTreeWidget::collapseAll);
    menu.exec(tree_->viewport()->mapToGlobal(at));
}

void TFormResource::listContextMenu(const QPoint& at) {
    auto* from = qobject_cast<QWidget*>(sender());
    QMenu menu(this);
    QAction* save = menu.addAction(QStringLiteral("&Save as..."), this, &TFormResource::saveSelected);
    save->setShortcut(Qt::Key_F2);
    save->setEnabled(selectedDataItem() != nullptr);
    menu.exec(from ? from->mapToGlobal(at) : QCursor::pos());
}

void TFormResource::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) return void(close());
    QWidget::keyPressEvent(e);
}

void TFormResource::closeEvent(QCloseEvent* e) { QWidget::closeEvent(e); }

// ---------------------------------------------------------------- for tests

int TFormResource::currentPage() const { return pages_->currentIndex(); }
QString TFormResource::message() const { return message_->text(); }
QString TFormResource::text() const { return text_->toPlainText(); }
QString TFormResource::languageLabel() const { return language_->text(); }
QString TFormResource::statusText(int panel) const { return status_[panel & 1]->text(); }
QString TFormResource::captionText() const { return caption_->text(); }
bool TFormResource::saveEnabled() const { return save_->isEnabled(); }

QTreeWidgetItem* TFormResource::nodeAt(const QStringList& names) const {
    QTreeWidgetItem* node = nullptr;
    for (const QString& name : names) {
        QTreeWidgetItem* next = nullptr;
        const int n = node ? node->childCount() : tree_->topLevelItemCount();
        for (int i = 0; i < n && !next; ++i) {
            QTreeWidgetItem* c = node ? node->child(i) : tree_->topLevelItem(i);
            if (c->text(0) == name) next = c;
        }
        if (!next) return nullptr;
        node = next;
    }
    return node;
}

}  // namespace kv
