#include "main/find/find_form.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>

#include "main/file_work.h"
#include "main/main_form.h"
#include "main/viewer_work.h"
#include "panel/fpanel.h"
#include "panel/model/archive_folder.h"
#include "panel/model/file_kinds.h"
#include "panel/model/mask.h"
#include "search/engine/duplicates.h"

namespace kv {
namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

std::string leafOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

QString when(std::int64_t t) {
    return QDateTime::fromSecsSinceEpoch(t).toString(QStringLiteral("dd.MM.yyyy hh:mm"));
}

}  // namespace

std::int64_t parseSizeLimit(const QString& text) {
    QString t = text.trimmed().toUpper();
    if (t.isEmpty()) return -1;
    std::int64_t unit = 1;
    if (t.endsWith(u'K')) unit = 1024;
    if (t.endsWith(u'M')) unit = 1024 * 1024;
    if (t.endsWith(u'G')) unit = std::int64_t{1024} * 1024 * 1024;
    if (unit > 1) t = t.left(t.size() - 1).trimmed();
    bool ok = false;
    const qlonglong n = t.toLongLong(&ok);
    if (!ok || n < 0 || n > INT64_MAX / unit) return -2;
    return n * unit;
}

TFormFind::TFormFind(TForm1& main) : QDialog(&main), main_(main) {
    setObjectName(QStringLiteral("FormFind"));
    setWindowTitle(QStringLiteral("Find file"));
    auto* form = new QFormLayout;
    FolderEdit = new QLineEdit(this);
    MasksEdit = new QLineEdit(QStringLiteral("*"), this);
    MasksEdit->setToolTip(QStringLiteral("Several masks separated by \",\": *.txt, *.doc"));
    TextEdit = new QLineEdit(this);
    IgnoreCaseBox = new QCheckBox(QStringLiteral("Ignore case"), this);
    form->addRow(QStringLiteral("Start folder:"), FolderEdit);
    form->addRow(QStringLiteral("File masks:"), MasksEdit);
    auto* textRow = new QHBoxLayout;
    textRow->addWidget(TextEdit, 1);
    textRow->addWidget(IgnoreCaseBox);
    form->addRow(QStringLiteral("Text inside:"), textRow);

    MinSizeEdit = new QLineEdit(this);
    MaxSizeEdit = new QLineEdit(this);
    MinSizeEdit->setPlaceholderText(QStringLiteral("bytes, K, M"));
    MaxSizeEdit->setPlaceholderText(QStringLiteral("bytes, K, M"));
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(MinSizeEdit);
    sizeRow->addWidget(new QLabel(QStringLiteral("to"), this));
    sizeRow->addWidget(MaxSizeEdit);
    form->addRow(QStringLiteral("Size from:"), sizeRow);

    FromDateBox = new QCheckBox(QStringLiteral("from"), this);
    ToDateBox = new QCheckBox(QStringLiteral("to"), this);
    FromDateEdit = new QDateEdit(QDate::currentDate().addMonths(-1), this);
    ToDateEdit = new QDateEdit(QDate::currentDate(), this);
    for (QDateEdit* d : {FromDateEdit, ToDateEdit}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        d->setEnabled(false);  // a date counts only while its box is checked
    }
    connect(FromDateBox, &QCheckBox::toggled, FromDateEdit, &QWidget::setEnabled);
    connect(ToDateBox, &QCheckBox::toggled, ToDateEdit, &QWidget::setEnabled);
    auto* dateRow = new QHBoxLayout;
    dateRow->addWidget(FromDateBox);
    dateRow->addWidget(FromDateEdit);
    dateRow->addWidget(ToDateBox);
    dateRow->addWidget(ToDateEdit);
    dateRow->addStretch();
    form->addRow(QStringLiteral("Modified:"), dateRow);

    ArchivesBox = new QCheckBox(QStringLiteral("Inside archives"), this);
    LinksBox = new QCheckBox(QStringLiteral("Follow links"), this);
    DuplicatesBox = new QCheckBox(QStringLiteral("Find duplicates"), this);
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(ArchivesBox);
    boxes->addWidget(LinksBox);
    boxes->addWidget(DuplicatesBox);
    boxes->addStretch();

    StartButton = new QPushButton(QStringLiteral("Start"), this);
    StopButton = new QPushButton(QStringLiteral("Stop"), this);
    FeedButton = new QPushButton(QStringLiteral("Feed to panel"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    StartButton->setDefault(true);
    close->setAutoDefault(false);
    StopButton->setEnabled(false);
    FeedButton->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(StartButton);
    buttons->addWidget(StopButton);
    buttons->addWidget(FeedButton);
    buttons->addStretch();
    buttons->addWidget(close);

    Status = new QLabel(QStringLiteral("Ready"), this);
    Results = new QTreeWidget(this);
    Results->setColumnCount(3);
    Results->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Modified")});
    Results->setRootIsDecorated(false);
    Results->setUniformRowHeights(true);
    Results->setStyleSheet(QStringLiteral("QTreeView::item { padding: 0 6px; }"));
    Results->header()->setStretchLastSection(false);
    Results->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    Results->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    Results->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    Results->installEventFilter(this);

    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addLayout(boxes);
    top->addLayout(buttons);
    top->addWidget(Status);
    top->addWidget(Results, 1);
    resize(720, 520);

    connect(StartButton, &QPushButton::clicked, this, &TFormFind::start);
    connect(StopButton, &QPushButton::clicked, this, &TFormFind::stop);
    connect(FeedButton, &QPushButton::clicked, this, &TFormFind::feedToPanel);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(Results, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* it) {
        if (const auto* r = resultOf(it)) goTo(*r);
    });
    tick_.setInterval(100);
    connect(&tick_, &QTimer::timeout, this, &TFormFind::updateStatus);
}

TFormFind::~TFormFind() {
    cancel_ = true;
    joinWorker();
}

TFormFind* TFormFind::showFor(TForm1& main) {
    auto* w = main.findChild<TFormFind*>(QString(), Qt::FindDirectChildrenOnly);
    if (!w) {
        w = new TFormFind(main);
        w->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (!w->running()) w->FolderEdit->setText(q(main.activePanel()->DiskFolder()));
    w->show();
    w->raise();
    w->activateWindow();
    w->MasksEdit->setFocus();
    return w;
}

void TFormFind::joinWorker() {
    if (worker_.joinable()) worker_.join();
}

void TFormFind::start() {
    stop();
    joinWorker();
    search::TFindQuery query;
    query.startDir = TFPanelModel::normalizeDir(FolderEdit->text().trimmed().toStdString());
    query.masks = MasksEdit->text().trimmed().isEmpty() ? std::string("*") : MasksEdit->text().toStdString();
    query.text = TextEdit->text().toStdString();
    query.ignoreCase = IgnoreCaseBox->isChecked();
    query.minSize = parseSizeLimit(MinSizeEdit->text());
    query.maxSize = parseSizeLimit(MaxSizeEdit->text());
    if (query.minSize == -2 || query.maxSize == -2) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("The size limit is not a number of bytes"));
        return;
    }
    if (FromDateBox->isChecked()) query.fromTime = FromDateEdit->date().startOfDay().toSecsSinceEpoch();
    if (ToDateBox->isChecked()) query.toTime = ToDateEdit->date().endOfDay().toSecsSinceEpoch();
    query.inArchives = ArchivesBox->isChecked();
    query.followLinks = LinksBox->isChecked();
    std::shared_ptr<search::TFindEngine> engine;
    try {
        engine = std::make_shared<search::TFindEngine>(query);
    } catch (const EMaskError& e) {
        QMessageBox::warning(this, windowTitle(), QString::fromUtf8(e.what()));
        return;
    }
    // Sizes and times come with the results, looked up on the search's worker: a slow file
    // system never holds the window.
    query.withSizes = true;
    startDir_ = query.startDir;
    Results->clear();
    results_.clear();
    Results->setRootIsDecorated(DuplicatesBox->isChecked());
    counts_.folders = 0;
    counts_.matched = 0;
    cancel_ = false;
    comparing_ = false;
    finished_ = false;
    StartButton->setEnabled(false);
    StopButton->setEnabled(true);
    FeedButton->setEnabled(false);
    tick_.start();
    updateStatus();
    const bool duplicates = DuplicatesBox->isChecked();
    const unsigned gen = ++generation_;
    worker_ = std::thread([this, engine, duplicates, gen] {
        std::vector<search::TFindResult> all;
        const bool opened = engine->run(cancel_, counts_,
                                        [this, duplicates, gen, &all](std::vector<search::TFindResult>&& b) {
                                            if (duplicates) {
                                                for (auto& r : b) all.push_back(std::move(r));
                                                return;
                                            }
                                            QMetaObject::invokeMethod(
                                                this,
                                                [this, gen, b = std::move(b)]() mutable {
                                                    if (gen == generation_) addBatch(std::move(b));
                                                },
                                                Qt::QueuedConnection);
                                        });
        if (duplicates && opened && !cancel_) {
            comparing_ = true;
            auto groups = search::findDuplicates(all, cancel_);
            QMetaObject::invokeMethod(
                this,
                [this, gen, g = std::move(groups)]() mutable {
                    if (gen == generation_) showGroups(std::move(g));
                },
                Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            this,
            [this, gen, opened] {
                if (gen != generation_) return;  // a search that was replaced by a newer one
                finish();
                if (!opened)
                    Status->setText(QStringLiteral("The folder %1 cannot be read").arg(q(startDir_)));
            },
            Qt::QueuedConnection);
    });
}

void TFormFind::stop() { cancel_ = true; }

QTreeWidgetItem* TFormFind::makeRow(search::TFindResult&& r) {
    const QLocale locale;
    auto* it = new QTreeWidgetItem;
    it->setText(0, q(r.path));
    it->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    // A size or time the search could not learn (the entry went meanwhile) stays blank.
    it->setText(1, r.isDir       ? QStringLiteral("<DIR>")
                   : r.size >= 0 ? locale.toString(static_cast<qlonglong>(r.size))
                                 : QString());
    if (r.mtime >= 0) it->setText(2, when(r.mtime));
    it->setData(0, Qt::UserRole, static_cast<int>(results_.size()));
    results_.push_back(std::move(r));
    return it;
}

void TFormFind::addBatch(std::vector<search::TFindResult>&& batch) {
    QList<QTreeWidgetItem*> rows;
    for (auto& r : batch) rows.push_back(makeRow(std::move(r)));
    Results->addTopLevelItems(rows);
    if (!Results->currentItem() && Results->topLevelItemCount() > 0)
        Results->setCurrentItem(Results->topLevelItem(0));
}

void TFormFind::showGroups(std::vector<std::vector<search::TFindResult>>&& groups) {
    const QLocale locale;
    int n = 0;
    for (auto& g : groups) {
        auto* head = new QTreeWidgetItem(Results);
        head->setText(0, QStringLiteral("Group %1: %2 files of %3 bytes")
                             .arg(++n)
                             .arg(g.size())
                             .arg(locale.toString(static_cast<qlonglong>(g.front().size))));
        head->setData(0, Qt::UserRole, -1);
        for (auto& r : g) head->addChild(makeRow(std::move(r)));
        head->setExpanded(true);
    }
    if (Results->topLevelItemCount() > 0) Results->setCurrentItem(Results->topLevelItem(0));
}

void TFormFind::finish() {
    joinWorker();
    finished_ = true;
    tick_.stop();
    StartButton->setEnabled(true);
    StopButton->setEnabled(false);
    bool onDisk = false;
    for (const auto& r : results_) onDisk = onDisk || !r.inArchive();
    FeedButton->setEnabled(onDisk);
    updateStatus();
}

void TFormFind::updateStatus() {
    const QLocale locale;
    const QString counts = QStringLiteral("%1 folders scanned, %2 found")
                               .arg(locale.toString(static_cast<qulonglong>(counts_.folders.load())))
                               .arg(locale.toString(static_cast<qulonglong>(counts_.matched.load())));
    if (!finished_)
        Status->setText(
            (comparing_ ? QStringLiteral("Comparing contents... ") : QStringLiteral("Searching... ")) +
            counts);
    else if (cancel_)
        Status->setText(QStringLiteral("Stopped: ") + counts);
    else if (DuplicatesBox->isChecked())
        Status->setText(QStringLiteral("Done: %1; %2 groups of duplicates")
                            .arg(counts)
                            .arg(Results->topLevelItemCount()));
    else
        Status->setText(QStringLiteral("Done: ") + counts);
}

const search::TFindResult* TFormFind::resultOf(const QTreeWidgetItem* item) const {
    if (!item) return nullptr;
    const int i = item->data(0, Qt::UserRole).toInt();
    return i >= 0 && static_cast<std::size_t>(i) < results_.size() ? &results_[static_cast<std::size_t>(i)]
                                                                   : nullptr;
}

void TFormFind::goTo(const search::TFindResult& r) {
    TFPanel* p = main_.activePanel();
    if (!r.inArchive()) {
        main_.changeFolder(p, folderOf(r.path));
        p->PlaceCursorOn(leafOf(r.path));
    } else {
        // The archive's own folder, Enter on the archive, then the folder inside it.
        main_.changeFolder(p, folderOf(r.archive));
        p->PlaceCursorOn(leafOf(r.archive));
        if (p->FL.findByName(leafOf(r.archive)) > 0) {
            p->EnterItem();
            if (p->InArchive()) {
                const std::size_t slash = r.inner.rfind('/');
                if (slash != std::string::npos)
                    main_.changeFolder(p, r.archive + "/" + r.inner.substr(0, slash));
                else
                    main_.changeFolder(p, p->CurDir);
                p->PlaceCursorOn(leafOf(r.inner));
            }
        }
    }
    p->publishCurrent();
    close();
}

void TFormFind::view(const search::TFindResult& r, bool edit) {
    std::string path = r.path;
    if (r.isDir) return;
    if (r.inArchive()) {
        // A private copy of the entry, kept while the window is open.
        if (!copies_) copies_ = std::make_unique<TArchiveFolders>();
        if (!copies_->inside() || copies_->innermost()->file != r.archive) {
            copies_->leaveAll();
            std::string error;
            if (!copies_->open(r.archive, r.archive, error)) {
                QMessageBox::warning(this, windowTitle(), q(error));
                return;
            }
        }
        std::string error;
        if (!copies_->extractEntry(r.inner, path, error)) {
            QMessageBox::warning(this, windowTitle(), q(error));
            return;
        }
        edit = false;  // the copy is never written back into the archive
    }
    if (const std::string_view kind = specialKindAt(path); !kind.empty()) {
        Status->setText(q(specialNotOpened(kind, leafOf(path))));
        return;
    }
    if (edit)
        openTextEditor(main_, path);
    else
        main_.fileWork().run(fileWorkKindOf(path), main_, path);
}

void TFormFind::feedToPanel() {
    std::vector<std::string> names;
    const std::string prefix = startDir_ == "/" ? std::string("/") : startDir_ + "/";
    for (const auto& r : results_)
        if (!r.inArchive() && r.path.size() > prefix.size() && r.path.compare(0, prefix.size(), prefix) == 0)
            names.push_back(r.path.substr(prefix.size()));
    if (names.empty()) return;
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    TFPanel* p = main_.activePanel();
    p->HideCursor();
    p->ShowFound(startDir_, std::move(names));
    p->LocateCursor();
    p->DrawList();
    p->DrawCursor();
    close();
}

bool TFormFind::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Results && event->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(event);
        const search::TFindResult* r = resultOf(Results->currentItem());
        switch (k->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (r) goTo(*r);
                return true;
            case Qt::Key_F3:
                if (r) view(*r, false);
                return true;
            case Qt::Key_F4:
                if (r) view(*r, true);
                return true;
            default: break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormFind::closeEvent(QCloseEvent* e) {
    cancel_ = true;
    joinWorker();
    QDialog::closeEvent(e);
}

}  // namespace kv
