#include "JournalWindow.h"

#include "CfgJournal.h"
#include "CfgJson.h"
#include "CheckJournal.h"
#include "CheckReport.h"
#include "CheckReportRows.h"
#include "CheckSteps.h"
#include "FileReplace.h"
#include "Main.h"
#include "NumText.h"
#include "Program.h"
#include "UiCommon.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

namespace {

// Both kinds of entry: configurations and bench checks.
const QString kCaption = QStringLiteral("Журнал");
constexpr int kTimeColumn = 0;
constexpr int kSiteColumn = 6; // Площадка, then Объект (JournalHeaders)

// The file keeps the moment with its offset from UTC; the window shows it on the operator's clock.
QString ShownTime(const QString& moment) {
    const QDateTime time = QDateTime::fromString(moment, Qt::ISODate);
    return time.isValid() ? LocalMomentText(time) : moment;
}

void SaveFailed(QWidget* parent, const QString& path, const QString& error) {
    ShowMessage(parent, QStringLiteral("Не удалось сохранить файл ") + path + QStringLiteral(": ") + error,
                QStringLiteral("Ошибка!"), QMessageBox::Warning);
}

// One whole entry a row, read only: a note is edited through its own dialog.
void SetUpRecordTable(QTableWidget* table) {
    table->setAccessibleName(QStringLiteral("Записи журнала, новые сверху"));
    table->setColumnCount(int(JournalHeaders().size()));
    table->setHorizontalHeaderLabels(JournalHeaders());
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->setVisible(false);
}

} // namespace

JournalWindow::JournalWindow(const QString& journalPath, QWidget* parent)
    : QWidget(parent, Qt::Window), path_(journalPath), filter_(new QLineEdit(this)),
      kind_(new QComboBox(this)),
      report_(PlainButton(QStringLiteral("П&ротокол…"), QStringLiteral("Протокол проверки по записи"), this)),
      table_(new QTableWidget(this)), status_(new QLabel(this)) {
    setWindowTitle(kCaption);
    setAccessibleName(kCaption);
    resize(900, 420);
    auto* filterLabel = new QLabel(QStringLiteral("&Фильтр :"), this);
    filterLabel->setBuddy(filter_);
    filter_->setAccessibleName(QStringLiteral("Фильтр записей журнала"));
    filter_->setClearButtonEnabled(true);
    auto* kindLabel = new QLabel(QStringLiteral("&Вид :"), this);
    kindLabel->setBuddy(kind_);
    kind_->setAccessibleName(QStringLiteral("Вид записей журнала"));
    kind_->addItem(QStringLiteral("Все записи"));
    for (const JournalKind kind : {JournalKind::Configure, JournalKind::Check})
        kind_->addItem(KindText(kind), int(kind));
    report_->setEnabled(false);
    SetUpRecordTable(table_);

    QPushButton* note =
        PlainButton(QStringLiteral("&Примечание…"), QStringLiteral("Примечание к записи"), this);
    QPushButton* exportCsvButton =
        PlainButton(QStringLiteral("&Экспорт в CSV…"), QStringLiteral("Экспорт в CSV"), this);
    QPushButton* refresh = PlainButton(QStringLiteral("&Обновить"), QStringLiteral("Обновить журнал"), this);
    QPushButton* close = PlainButton(QStringLiteral("&Закрыть"), QStringLiteral("Закрыть журнал"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(filterLabel);
    top->addWidget(filter_);
    top->addWidget(kindLabel);
    top->addWidget(kind_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    for (QPushButton* b : {note, report_, exportCsvButton, refresh, close})
        bottom->addWidget(b);
    // Tab goes along the buttons as they stand, though the report's was made with the window.
    setTabOrder(note, report_);
    setTabOrder(report_, exportCsvButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 1);
    layout->addLayout(bottom);

    connect(filter_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { editNote(); });
    connect(kind_, &QComboBox::currentIndexChanged, this, [this] { applyFilter(); });
    connect(table_, &QTableWidget::currentCellChanged, this, [this] { updateReportButton(); });
    connect(note, &QPushButton::clicked, this, [this] { editNote(); });
    connect(report_, &QPushButton::clicked, this, [this] { reportClicked(); });
    connect(exportCsvButton, &QPushButton::clicked, this, [this] { exportClicked(); });
    connect(refresh, &QPushButton::clicked, this, [this] { reload(); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    followFile();
}

void JournalWindow::followFile() {
    // The checks and the command line append to the same journal: an open window shows their entries
    // without a refresh. The folder is watched too, for a journal that does not exist yet.
    auto* watcher = new QFileSystemWatcher(this);
    auto* settle = new QTimer(this); // one read for a burst of appends
    settle->setSingleShot(true);
    settle->setInterval(200);
    const auto watch = [this, watcher] {
        const QString folder = QFileInfo(path_).absolutePath();
        if (QFileInfo::exists(folder) && !watcher->directories().contains(folder))
            watcher->addPath(folder);
        if (QFileInfo::exists(path_) && !watcher->files().contains(path_))
            watcher->addPath(path_);
    };
    watch();
    const auto changed = [settle, watch] {
        watch();
        settle->start();
    };
    connect(watcher, &QFileSystemWatcher::fileChanged, this, changed);
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, changed);
    connect(settle, &QTimer::timeout, this, [this] {
        if (isVisible())
            reload();
    });
}

void JournalWindow::reload() {
    const JournalContents contents = ReadJournal(path_, {JournalKind::Configure, JournalKind::Check});
    entries_ = contents.entries;
    table_->setRowCount(int(entries_.size()));
    for (int row = 0; row < entries_.size(); ++row) {
        QStringList cells = JournalRow(entries_[row]);
        cells[kTimeColumn] = ShownTime(cells[kTimeColumn]);
        for (int col = 0; col < cells.size(); ++col)
            table_->setItem(row, col, new QTableWidgetItem(cells[col]));
    }
    QString status = QStringLiteral("Записей : ") + QString::number(entries_.size());
    if (contents.skipped > 0)
        status += QStringLiteral(" (не прочитано строк : ") + QString::number(contents.skipped) +
                  QStringLiteral(")");
    status_->setText(status);
    applyFilter();
    updateReportButton();
}

void JournalWindow::updateReportButton() {
    const int row = table_->currentRow();
    report_->setEnabled(row >= 0 && row < entries_.size() && EntryKind(entries_[row]) == JournalKind::Check);
}

void JournalWindow::applyFilter() {
    const QString text = filter_->text().trimmed();
    const QVariant kind = kind_->currentData();
    for (int row = 0; row < table_->rowCount(); ++row) {
        if (kind.isValid() && int(EntryKind(entries_[row])) != kind.toInt()) {
            table_->setRowHidden(row, true);
            continue;
        }
        bool match = text.isEmpty();
        for (int col = 0; !match && col < table_->columnCount(); ++col)
            match = table_->item(row, col)->text().contains(text, Qt::CaseInsensitive);
        table_->setRowHidden(row, !match);
    }
}

QList<QJsonObject> JournalWindow::shownEntries() const {
    QList<QJsonObject> shown;
    for (int row = 0; row < entries_.size(); ++row)
        if (!table_->isRowHidden(row))
            shown << entries_[row];
    return shown;
}

namespace {

QString CsvCell(QString text) {
    // Quoted when it holds the separator, a quote or a line end; quotes inside doubled.
    if (text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"')) ||
        text.contains(QLatin1Char('\n')))
        text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    return text;
}

// After the entries' table, one row per step of each check in its own table: a spreadsheet keeps the
// entries' columns as they were and gets the steps' figures beside them.
QByteArray CheckStepsCsv(const QList<QJsonObject>& entries) {
    QStringList lines;
    for (const QJsonObject& entry : entries) {
        const std::optional<CheckRecord> record = CheckFromJournal(entry, nullptr);
        if (!record)
            continue;
        const QList<QStringList> rows = StepRows(*record);
        for (int s = 0; s < rows.size(); ++s) {
            const CheckStepResult& r = record->steps[s];
            const QStringList& row = rows[s];
            QStringList cells{entry.value(QStringLiteral("id")).toString(),
                              row[0],
                              row[2],
                              row[1],
                              row[5],
                              row[7],
                              row[8],
                              r.countedPulses ? QString::number(StepDifference(r)) : QString(),
                              VerdictText(StepVerdict(r, record->plan.tolerance)),
                              record->plan.site,
                              record->plan.object,
                              record->plan.engineer};
            for (QString& c : cells)
                c = CsvCell(c);
            lines << cells.join(QLatin1Char(';'));
        }
    }
    if (lines.isEmpty())
        return {};
    lines.prepend(QStringLiteral("Проверка;Шаг;Расход, м3/ч;Цель;Объем шага, м3;Ожидалось;Насчитано;Разница;"
                                 "Вердикт;Площадка;Объект;Исполнитель"));
    return "\r\n" + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

} // namespace

bool JournalWindow::exportCsv(const QString& path, QString* error) {
    const QList<QJsonObject> shown = shownEntries();
    return WriteWholeFile(path, JournalCsv(shown) + CheckStepsCsv(shown), error);
}

bool JournalWindow::attachNote(const QString& entryId, const QString& site, const QString& object,
                               QString* error) {
    if (!AppendJournal(path_, JournalNote(entryId, site, object, QDateTime::currentDateTime()), error))
        return false;
    reload();
    return true;
}

void JournalWindow::exportClicked() {
    const QString path = AskSavePath(this, QStringLiteral("Экспорт журнала в CSV"), QStringLiteral("CSV"),
                                     QStringLiteral(".csv"));
    QString error;
    if (!path.isEmpty() && !exportCsv(path, &error))
        SaveFailed(this, path, error);
}

void JournalWindow::reportClicked() {
    const int row = table_->currentRow();
    if (row < 0 || row >= entries_.size() || table_->isRowHidden(row))
        return;
    QString problem;
    const std::optional<CheckRecord> record = CheckFromJournal(entries_[row], &problem);
    if (!record) {
        ShowMessage(this,
                    QStringLiteral("По этой записи протокол не составить: ") + problem + QLatin1Char('.'),
                    QStringLiteral("Ошибка!"), QMessageBox::Warning);
        return;
    }
    const QString path = AskSavePath(this, QStringLiteral("Сохранить протокол проверки"),
                                     QStringLiteral("PDF"), QStringLiteral(".pdf"));
    QString error;
    if (!path.isEmpty() && !WriteCheckReport(*record, path, &error))
        SaveFailed(this, path, error);
}

void JournalWindow::editNote() {
    const int row = table_->currentRow();
    if (row < 0 || row >= entries_.size() || table_->isRowHidden(row))
        return;
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Примечание к записи"));
    auto* site = new QLineEdit(table_->item(row, kSiteColumn)->text(), &dialog);
    auto* object = new QLineEdit(table_->item(row, kSiteColumn + 1)->text(), &dialog);
    site->setAccessibleName(QStringLiteral("Площадка"));
    object->setAccessibleName(QStringLiteral("Объект"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("&Площадка :"), site);
    form->addRow(QStringLiteral("&Объект :"), object);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString error;
    if (!attachNote(entries_[row].value(QStringLiteral("id")).toString(), site->text(), object->text(),
                    &error))
        ShowMessage(this, QStringLiteral("Не удалось сохранить примечание в журнале: ") + error,
                    QStringLiteral("Ошибка!"), QMessageBox::Warning);
}

void AttachJournal(TMainForm& mainForm, Program& program, const QString& journalPath) {
    // Made when first opened, so that the start-up does not pay for a window most runs never show; then
    // kept (a child of the main window) with its place and column widths.
    auto window = std::make_shared<JournalWindow*>(nullptr);
    mainForm.openJournal = [window, &mainForm, journalPath] {
        if (!*window)
            *window = new JournalWindow(journalPath, &mainForm);
        (*window)->reload();
        (*window)->show();
        (*window)->raise();
        (*window)->activateWindow();
    };
    mainForm.onConfigureDone = [window, &program, journalPath](const CfgJobReport& report) {
        QStringList failed = RecordInJournal(journalPath, program.link, report);
        if (*window && (*window)->isVisible())
            (*window)->reload();
        return failed;
    };
}
