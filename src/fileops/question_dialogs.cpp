#include "fileops/question_dialogs.h"

#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "fileops/file_command_support.h"

namespace kv {

QString shortDateTime(std::time_t t) {
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t))
        .toString(QStringLiteral("dd.MM.yyyy, hh:mm"));
}

namespace {

QString factsText(const fileops::FileFacts& f) {
    const QString size =
        f.isDir ? QStringLiteral("<Folder>")
                : QLocale::system().toString(static_cast<qlonglong>(f.size)) + QStringLiteral(" bytes");
    return size + QStringLiteral("\n") + shortDateTime(f.modified);
}

QPushButton* addButton(QHBoxLayout* row, QDialog* d, const char* name, const char* text) {
    auto* b = new QPushButton(QString::fromUtf8(text), d);
    b->setObjectName(QString::fromLatin1(name));
    row->addWidget(b);
    return b;
}

QLabel* iconLabel(QDialog* d, QStyle::StandardPixmap which) {
    auto* l = new QLabel(d);
    l->setPixmap(d->style()->standardIcon(which).pixmap(32, 32));
    l->setAlignment(Qt::AlignTop);
    return l;
}

}  // namespace

TFormConflict::TFormConflict(const fileops::Conflict& c, QWidget* parent) : QDialog(parent) {
    using fileops::Decision;
    setObjectName(QStringLiteral("TFormConflict"));
    setWindowTitle(QStringLiteral("Confirm file replace"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* v = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(iconLabel(this, QStyle::SP_MessageBoxQuestion));
    Question = new QLabel(QStringLiteral("The target already exists:\n%1\n\nReplace it?")
                              .arg(fileops_ui::qName(c.target.path)),
                          this);
    Question->setObjectName(QStringLiteral("Question"));
    Question->setWordWrap(true);
    top->addWidget(Question, 1);
    v->addLayout(top);

    auto* grid = new QGridLayout;
    auto* newHead = new QLabel(QStringLiteral("<b>New (source)</b>"), this);
    auto* oldHead = new QLabel(QStringLiteral("<b>Existing (target)</b>"), this);
    SourceFacts = new QLabel(factsText(c.source), this);
    SourceFacts->setObjectName(QStringLiteral("SourceFacts"));
    TargetFacts = new QLabel(factsText(c.target), this);
    TargetFacts->setObjectName(QStringLiteral("TargetFacts"));
    grid->addWidget(newHead, 0, 0);
    grid->addWidget(oldHead, 0, 1);
    grid->addWidget(SourceFacts, 1, 0);
    grid->addWidget(TargetFacts, 1, 1);
    grid->setHorizontalSpacing(40);
    v->addLayout(grid);

    auto* row = new QHBoxLayout;
    OverwriteBtn = addButton(row, this, "OverwriteBtn", "&Overwrite");
    SkipBtn = addButton(row, this, "SkipBtn", "&Skip");
    OverwriteAllBtn = addButton(row, this, "OverwriteAllBtn", "Overwrite &all");
    SkipAllBtn = addButton(row, this, "SkipAllBtn", "S&kip all");
    CancelBtn = addButton(row, this, "CancelBtn", "&Cancel");
    v->addLayout(row);
    OverwriteBtn->setDefault(true);
    const std::pair<QPushButton*, Decision> answers[] = {{OverwriteBtn, Decision::Overwrite},
                                                         {SkipBtn, Decision::Skip},
                                                         {OverwriteAllBtn, Decision::OverwriteAll},
                                                         {SkipAllBtn, Decision::SkipAll},
                                                         {CancelBtn, Decision::Cancel}};
    for (const auto& [b, d] : answers)
        connect(b, &QPushButton::clicked, this, [this, d = d] {
            answer_ = d;
            accept();
        });
}

TFormFileError::TFormFileError(const fileops::OpError& e, QWidget* parent) : QDialog(parent) {
    using fileops::Decision;
    setObjectName(QStringLiteral("TFormFileError"));
    setWindowTitle(QStringLiteral("Error"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* v = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(iconLabel(this, QStyle::SP_MessageBoxCritical));
    auto* texts = new QVBoxLayout;
    FileLabel = new QLabel(
        QStringLiteral("Cannot %1\n%2").arg(QString::fromStdString(e.action), fileops_ui::qName(e.path)),
        this);
    FileLabel->setObjectName(QStringLiteral("FileLabel"));
    FileLabel->setWordWrap(true);
    Reason = new QLabel(QString::fromStdString(e.reason()), this);
    Reason->setObjectName(QStringLiteral("Reason"));
    texts->addWidget(FileLabel);
    texts->addWidget(Reason);
    top->addLayout(texts, 1);
    v->addLayout(top);
    auto* row = new QHBoxLayout;
    row->addStretch();
    SkipBtn = addButton(row, this, "SkipBtn", "&Skip");
    RetryBtn = addButton(row, this, "RetryBtn", "&Retry");
    CancelBtn = addButton(row, this, "CancelBtn", "&Cancel");
    v->addLayout(row);
    RetryBtn->setDefault(true);
    const std::pair<QPushButton*, Decision> answers[] = {
        {SkipBtn, Decision::Skip}, {RetryBtn, Decision::Retry}, {CancelBtn, Decision::Cancel}};
    for (const auto& [b, d] : answers)
        connect(b, &QPushButton::clicked, this, [this, d = d] {
            answer_ = d;
            accept();
        });
}

}  // namespace kv
