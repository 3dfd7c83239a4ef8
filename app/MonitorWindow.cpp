#include "MonitorWindow.h"

#include "FileReplace.h"
#include "Main.h"
#include "Now_opros.h"
#include "PortRecovery.h"
#include "Version.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>
#include <utility>

using monitor::RowKind;

namespace {

const QString kGeometryKey = QStringLiteral("monitor/geometry");

QPushButton* Button(QWidget* parent, const char* name, const QString& text, const QString& accessible) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAccessibleName(accessible);
    return b;
}

QCheckBox* Check(QWidget* parent, const char* name, const QString& text, bool on) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QLatin1String(name));
    c->setAccessibleName(QString(text).remove(QLatin1Char('&')));
    c->setChecked(on);
    return c;
}

} // namespace

TMonitorForm::TMonitorForm(Link& link, monitor::LineMonitor& lineMonitor, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(link), monitor_(lineMonitor), filter_(monitor_.model()) {
    setObjectName(QStringLiteral("MonitorForm"));
    setWindowTitle(QStringLiteral("Обмен по линии"));
    // The program ends with its main window, whether or not the monitor is still open.
    setAttribute(Qt::WA_QuitOnClose, false);
    buildControls();
    connect(&monitor_, &monitor::LineMonitor::updated, this, &TMonitorForm::refresh);
    connect(&filter_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (autoScroll_->isChecked())
            rows_->scrollToBottom();
    });
    resize(900, 520);
    restorePlace();
}

TMonitorForm::~TMonitorForm() = default;

QString TMonitorForm::settingsPath() {
    QString path = qEnvironmentVariable("RMZ47_MONITOR_SETTINGS");
    if (!path.isEmpty())
        return path;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/rmz47/monitor.ini");
}

void TMonitorForm::buildControls() {
    auto* layout = new QVBoxLayout(this);
    diagnosis_ = new QLabel(this);
    diagnosis_->setObjectName(QStringLiteral("DiagnosisLabel"));
    diagnosis_->setAccessibleDescription(QStringLiteral("Диагноз"));
    diagnosis_->setWordWrap(true);
    diagnosis_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    diagnosis_->hide();
    layout->addWidget(diagnosis_);
    layout->addWidget(buildToolRow());

    auto* split = new QSplitter(Qt::Vertical, this);
    rows_ = new QTableView(split);
    rows_->setObjectName(QStringLiteral("RowsView"));
    rows_->setAccessibleName(QStringLiteral("Кадры"));
    rows_->setModel(&filter_);
    rows_->setSelectionBehavior(QAbstractItemView::SelectRows);
    rows_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    rows_->setWordWrap(false);
    rows_->verticalHeader()->hide();
    // A fixed row height: the view never measures 100,000 rows.
    rows_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    rows_->verticalHeader()->setDefaultSectionSize(rows_->fontMetrics().height() + 4);
    rows_->horizontalHeader()->setStretchLastSection(true);
    for (auto [column, width] : {std::pair{0, 95}, std::pair{2, 115}, std::pair{3, 260}})
        rows_->setColumnWidth(column, width);
    // Wide enough for a pause of hours, in minutes and seconds.
    rows_->setColumnWidth(monitor::RowModel::GapColumn,
                          rows_->fontMetrics().horizontalAdvance(QStringLiteral("+9999 мин 59,999 с")) + 12);
    counters_ = new QTreeWidget(split);
    counters_->setObjectName(QStringLiteral("CountersTree"));
    counters_->setAccessibleName(QStringLiteral("Счетчики"));
    counters_->setHeaderLabels({QStringLiteral("Задание / нитка"), QStringLiteral("Запросов"),
                                QStringLiteral("Ответов"), QStringLiteral("Неверная КС"),
                                QStringLiteral("Оборвано"), QStringLiteral("Байт шума"),
                                QStringLiteral("Нет ответа"), QStringLiteral("Не имитируется")});
    counters_->setRootIsDecorated(true);
    counters_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    split->addWidget(rows_);
    split->addWidget(counters_);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("StatusLabel"));
    status_->setAccessibleDescription(QStringLiteral("Ход обмена"));
    layout->addWidget(status_);

    auto* copy = new QShortcut(QKeySequence::Copy, rows_);
    copy->setContext(Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, &TMonitorForm::copySelection);
}

QWidget* TMonitorForm::buildToolRow() {
    auto* row = new QWidget(this);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    auto* pause = Button(row, "PauseButton", QStringLiteral("&Пауза"), QStringLiteral("Пауза"));
    pause->setCheckable(true);
    connect(pause, &QPushButton::toggled, this, [this](bool on) { monitor_.setPaused(on); });
    autoScroll_ = Check(row, "AutoScrollCheckBox", QStringLiteral("&Автопрокрутка"), true);
    h->addWidget(pause);
    h->addWidget(autoScroll_);
    h->addSpacing(12);
    const std::tuple<const char*, QString, RowKind> kinds[] = {
        {"RequestsCheckBox", QStringLiteral("&Запросы"), RowKind::Request},
        {"AnswersCheckBox", QStringLiteral("&Ответы"), RowKind::Answer},
        {"FaultsCheckBox", QStringLiteral("&Ошибки"), RowKind::Fault}};
    for (const auto& [name, text, kind] : kinds) {
        QCheckBox* c = Check(row, name, text, true);
        connect(c, &QCheckBox::toggled, this, [this, kind = kind](bool on) { filter_.setShown(kind, on); });
        h->addWidget(c);
    }
    h->addStretch(1);
    auto* copy = Button(row, "CopyButton", QStringLiteral("&Копировать"), QStringLiteral("Копировать"));
    auto* save = Button(row, "SaveButton", QStringLiteral("&Сохранить..."), QStringLiteral("Сохранить"));
    auto* clear = Button(row, "ClearButton", QStringLiteral("О&чистить"), QStringLiteral("Очистить"));
    auto* reset =
        Button(row, "ResetButton", QStringLiteral("С&бросить счетчики"), QStringLiteral("Сбросить счетчики"));
    connect(copy, &QPushButton::clicked, this, &TMonitorForm::copySelection);
    connect(save, &QPushButton::clicked, this, &TMonitorForm::saveAs);
    connect(clear, &QPushButton::clicked, this, [this] { monitor_.clearRows(); });
    connect(reset, &QPushButton::clicked, this, [this] {
        monitor_.log().resetCounters();
        refresh();
    });
    for (QPushButton* b : {copy, save, clear, reset})
        h->addWidget(b);
    return row;
}

void TMonitorForm::open() {
    show();
    raise();
    activateWindow();
}

void TMonitorForm::showProgress(const QString& step) {
    status_->setText(step);
}

void TMonitorForm::refresh() {
    const QStringList lines = monitor_.log().diagnosis(monitor_.nowUs());
    const QString text = lines.join(QLatin1Char('\n'));
    if (diagnosis_->text() != text)
        diagnosis_->setText(text);
    diagnosis_->setVisible(!text.isEmpty());
    refreshCounters();
}

QString TMonitorForm::selectedText() const {
    QList<int> rows;
    for (const QModelIndex& i : rows_->selectionModel()->selectedRows())
        rows << filter_.sourceRow(i.row());
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (int r : rows)
        lines << monitor::RowLine(monitor_.model().row(r));
    return lines.join(QLatin1Char('\n'));
}

void TMonitorForm::copySelection() {
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text + QLatin1Char('\n'));
}

bool TMonitorForm::saveTo(const QString& path) const {
    QString text =
        monitor::SavedHeader({QStringLiteral(RMZ47_VERSION), link_.PortNumber(), CurrentPortDevice(link_),
                              link_.LineSpeed(), QDateTime::currentDateTime()});
    for (int i = 0; i < filter_.rowCount(); ++i)
        text += monitor::RowLine(monitor_.model().row(filter_.sourceRow(i))) + QLatin1Char('\n');
    return WriteWholeFile(path, text.toUtf8(), nullptr);
}

void TMonitorForm::saveAs() {
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить обмен по линии"), QString(),
                                     QStringLiteral("Текстовые файлы (*.txt);;Все файлы (*)"));
    if (path.isEmpty())
        return;
    if (!saveTo(path))
        QMessageBox::warning(this, QStringLiteral("Сообщение"),
                             QStringLiteral("Не могу записать файл ") + path);
}

void TMonitorForm::closeEvent(QCloseEvent* event) {
    keepPlace();
    event->accept();
}

void TMonitorForm::restorePlace() {
    QSettings settings(settingsPath(), QSettings::IniFormat);
    const QByteArray geometry = settings.value(kGeometryKey).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

void TMonitorForm::keepPlace() const {
    QSettings settings(settingsPath(), QSettings::IniFormat);
    settings.setValue(kGeometryKey, saveGeometry());
}

namespace {

QStringList CounterTexts(const QString& title, const monitor::Counters& c) {
    return {title,
            QString::number(c.requests),
            QString::number(c.answers),
            QString::number(c.badCrc),
            QString::number(c.cutShort),
            QString::number(c.noiseBytes),
            QString::number(c.timeouts),
            QString::number(c.notImitated)};
}

QString JobTitle(const monitor::JobCounters& job, int number) {
    return QStringLiteral("%1. %2").arg(number).arg(job.kind == monitor::JobKind::Imitation
                                                        ? QStringLiteral("Имитация ответов Сантар")
                                                        : QStringLiteral("Конфигурирование контроллера"));
}

} // namespace

void TMonitorForm::refreshCounters() {
    // The newest job first; its runs beneath it. Rebuilt only when a number changed.
    QList<std::pair<bool, QStringList>> lines; // a run's line?, its texts
    const auto& jobs = monitor_.log().jobs();
    for (int j = int(jobs.size()) - 1; j >= 0; --j) {
        const monitor::JobCounters& job = jobs[std::size_t(j)];
        lines.append({false, CounterTexts(JobTitle(job, j + 1), job.total)});
        for (const auto& [run, c] : job.runs)
            lines.append({true, CounterTexts(monitor::RunName(run), c)});
    }
    QString key;
    for (const auto& [run, texts] : lines)
        key += (run ? QStringLiteral("  ") : QString()) + texts.join(QLatin1Char(',')) + QLatin1Char(';');
    if (key == lastCounters_)
        return;
    lastCounters_ = key;
    counters_->clear();
    QTreeWidgetItem* parent = nullptr;
    for (const auto& [run, texts] : lines) {
        auto* item =
            run && parent ? new QTreeWidgetItem(parent, texts) : new QTreeWidgetItem(counters_, texts);
        if (!run)
            parent = item;
    }
    counters_->expandAll();
}

MonitorHookup::MonitorHookup(TMainForm& mainForm, Link& link, const proto::FlowSlots* flowSlots)
    : mainForm_(mainForm), link_(link), monitor_(link.timeSource()) {
    // Recording from the start: the window opened after a failure shows the exchange that failed.
    monitor_.log().setFlowSlots(flowSlots);
    monitor_.attach(link);
    mainForm.openMonitor = [this] { open(); };
    mainForm.onProgress = [this](const QString& step) {
        if (form_)
            form_->showProgress(step);
    };
    mainForm.onJob = [this](bool imitation, bool starts) {
        monitor_.job(imitation ? monitor::JobKind::Imitation : monitor::JobKind::Configure, starts);
    };
    qApp->installEventFilter(this);
}

MonitorHookup::~MonitorHookup() {
    qApp->removeEventFilter(this);
    mainForm_.openMonitor = nullptr;
    mainForm_.onProgress = nullptr;
    mainForm_.onJob = nullptr;
}

TMonitorForm& MonitorHookup::open() {
    if (!form_)
        form_ = std::make_unique<TMonitorForm>(link_, monitor_);
    form_->open();
    return *form_;
}

bool MonitorHookup::eventFilter(QObject*, QEvent* event) {
    // Outside a modal dialog the main window's application-wide shortcut takes F2.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2 &&
        !static_cast<QKeyEvent*>(event)->isAutoRepeat() && QApplication::activeModalWidget())
        open();
    return false;
}
