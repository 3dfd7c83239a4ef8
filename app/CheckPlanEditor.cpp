#include "CheckPlanEditor.h"

#include "FlowFrames.h"
#include "ImitSettings.h"
#include "LineSpeed.h"
#include "NumText.h"
#include "UiCommon.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

namespace {

// The steps table: the runs' flows, the target (pulses or seconds, one of the two filled), then what
// the step gave.
enum Column {
    kFlow1,
    kPulses = kCheckRunsMax,
    kSeconds,
    kExpected,
    kCounted,
    kDifference,
    kVerdict,
    kColumns
};

constexpr QAbstractItemView::EditTriggers kEditTriggers =
    QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed;

const QString kLostLine = QStringLiteral(" (обрыв линии)");

QStringList StepHeaders() {
    QStringList headers;
    for (int r = 1; r <= kCheckRunsMax; ++r)
        headers << QStringLiteral("Расход %1, м3/ч").arg(r);
    return headers << QStringLiteral("Импульсов") << QStringLiteral("Секунд") << QStringLiteral("Ожидается")
                   << QStringLiteral("Насчитано") << QStringLiteral("Разница") << QStringLiteral("Вердикт");
}

// A number as short as it reads exactly: no trailing zeros after the separator.
QString ShortNumber(double value, int decimals) {
    QString text = FormatNumber(value, decimals);
    const QString separator = DecimalSeparator();
    if (!text.contains(separator) || text.contains(QLatin1Char('e'), Qt::CaseInsensitive))
        return text;
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(separator))
        text.chop(separator.size());
    return text;
}

SpinEdit* Spin(int low, int high, const QString& name, QWidget* parent) {
    auto* spin = new SpinEdit(parent);
    spin->setRange(low, high);
    spin->setAccessibleName(name);
    return spin;
}

QLineEdit* Edit(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setAccessibleName(name);
    return edit;
}

QLabel* Buddy(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, buddy->parentWidget());
    label->setBuddy(buddy);
    return label;
}

// An empty edit is a value not known (0); anything else must read as a number above zero.
bool ReadPositive(const QLineEdit* edit, const QString& what, double* value, QString* problem) {
    const QString text = NormalizeDecimalSeparator(edit->text()).trimmed();
    *value = 0;
    if (text.isEmpty())
        return true;
    if (TryParseNumber(text, value) && *value > 0)
        return true;
    *problem = what + QStringLiteral(": '") + edit->text() + QStringLiteral("' - не число больше нуля.");
    return false;
}

} // namespace

CheckPlanEditor::CheckPlanEditor(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(makeRuns());
    layout->addLayout(makeLineRow());
    layout->addLayout(makeStepRow());
    layout->addWidget(steps_, 1);
    layout->addLayout(makeWhoRows());
    connect(runCount_, &QSpinBox::valueChanged, this, [this](int runs) { showRunCount(runs); });
    CheckPlan plan;
    plan.steps << CheckStep{};
    setPlan(plan);
}

QGroupBox* CheckPlanEditor::makeRuns() {
    runCount_ = Spin(1, kCheckRunsMax, QStringLiteral("Количество ниток"), this);
    auto* runsBox = new QGroupBox(QStringLiteral("Нитки"), this);
    auto* runsGrid = new QGridLayout(runsBox);
    runsGrid->addWidget(Buddy(QStringLiteral("&Ниток :"), runCount_), 0, 0);
    runsGrid->addWidget(runCount_, 0, 1);
    for (int r = 0; r < kCheckRunsMax; ++r) {
        const QString n = QString::number(r + 1);
        RunControls& run = runs_[std::size_t(r)];
        run.caption = new QLabel(QStringLiteral("Нитка ") + n + QStringLiteral(" :"), runsBox);
        run.address = Spin(1, 255, QStringLiteral("Адрес нитки ") + n, runsBox);
        run.run = Spin(1, 3, QStringLiteral("Номер нитки ") + n + QStringLiteral(" в вычислителе"), runsBox);
        run.order = new QComboBox(runsBox);
        run.order->addItems({QStringLiteral("Старший байт по младшему адресу"),
                             QStringLiteral("Младший байт по младшему адресу")});
        run.order->setAccessibleName(QStringLiteral("Порядок байт в float нитки ") + n);
        runsGrid->addWidget(run.caption, r + 2, 0);
        runsGrid->addWidget(run.address, r + 2, 1);
        runsGrid->addWidget(run.run, r + 2, 2);
        runsGrid->addWidget(run.order, r + 2, 3);
    }
    runsGrid->setColumnStretch(4, 1);
    // The column captions lead to the first run's controls; Tab goes on from there.
    runsGrid->addWidget(Buddy(QStringLiteral("&Адрес (1-255)"), runs_[0].address), 1, 1);
    runsGrid->addWidget(Buddy(QStringLiteral("Но&мер нитки (1-3)"), runs_[0].run), 1, 2);
    runsGrid->addWidget(Buddy(QStringLiteral("&Порядок байт в float"), runs_[0].order), 1, 3);
    return runsBox;
}

QHBoxLayout* CheckPlanEditor::makeLineRow() {
    speed_ = new QComboBox(this);
    for (const proto::LineSpeedRow& row : proto::LineSpeedTable)
        speed_->addItem(QString::number(row.baud));
    speed_->setAccessibleName(QStringLiteral("Скорость линии, бит/с"));
    v_ = Edit(QStringLiteral("Цена импульса выхода контроллера, м3"), this);
    pulse_ = Edit(QStringLiteral("Длительность импульса выхода, с"), this);
    pause_ = Edit(QStringLiteral("Длительность паузы выхода, с"), this);
    auto* lineRow = new QHBoxLayout;
    lineRow->addWidget(Buddy(QStringLiteral("С&корость, бит/с :"), speed_));
    lineRow->addWidget(speed_);
    lineRow->addWidget(Buddy(QStringLiteral("Выход: цена импульса (&V), м3 :"), v_));
    lineRow->addWidget(v_);
    lineRow->addWidget(Buddy(QStringLiteral("&импульс, с :"), pulse_));
    lineRow->addWidget(pulse_);
    lineRow->addWidget(Buddy(QStringLiteral("пау&за, с :"), pause_));
    lineRow->addWidget(pause_);
    return lineRow;
}

// The steps table and the row of buttons above it.
QHBoxLayout* CheckPlanEditor::makeStepRow() {
    steps_ = new QTableWidget(0, kColumns, this);
    steps_->setHorizontalHeaderLabels(StepHeaders());
    steps_->setAccessibleName(QStringLiteral("Шаги проверки"));
    // One Tab stop: the arrows move between the cells, typing or F2 edits one.
    steps_->setTabKeyNavigation(false);
    steps_->setSelectionBehavior(QAbstractItemView::SelectItems);
    steps_->setSelectionMode(QAbstractItemView::SingleSelection);
    steps_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    steps_->horizontalHeader()->setStretchLastSection(true);
    const auto button = [this](const QString& text, const QString& name, auto slot) {
        auto* b = new QPushButton(text, this);
        b->setAccessibleName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        stepButtons_ << b;
        return b;
    };
    auto* stepRow = new QHBoxLayout;
    stepRow->addWidget(Buddy(QStringLiteral("&Шаги :"), steps_));
    stepRow->addStretch(1);
    stepRow->addWidget(
        button(QStringLiteral("&Добавить шаг"), QStringLiteral("Добавить шаг"), [this] { addStep(); }));
    stepRow->addWidget(
        button(QStringLiteral("&Удалить шаг"), QStringLiteral("Удалить шаг"), [this] { removeStep(); }));
    stepRow->addWidget(button(QStringLiteral("&Выше"), QStringLiteral("Шаг выше"), [this] { moveStep(-1); }));
    stepRow->addWidget(button(QStringLiteral("Ни&же"), QStringLiteral("Шаг ниже"), [this] { moveStep(1); }));
    return stepRow;
}

QFormLayout* CheckPlanEditor::makeWhoRows() {
    tolerance_ = Spin(0, 1000000, QStringLiteral("Допуск, импульсов"), this);
    site_ = Edit(QStringLiteral("Площадка"), this);
    object_ = Edit(QStringLiteral("Объект"), this);
    engineer_ = Edit(QStringLiteral("Исполнитель"), this);
    auto* who = new QFormLayout;
    who->addRow(Buddy(QStringLiteral("Д&опуск, импульсов :"), tolerance_), tolerance_);
    who->addRow(Buddy(QStringLiteral("Пло&щадка :"), site_), site_);
    who->addRow(Buddy(QStringLiteral("Объ&ект :"), object_), object_);
    who->addRow(Buddy(QStringLiteral("Испо&лнитель :"), engineer_), engineer_);
    return who;
}

void CheckPlanEditor::takeImitSettings(const ImitSettings& imit) {
    // Only what the imitation knows: the steps, the tolerance and who checks where stay as typed, even
    // where a cell does not read as a number yet.
    CheckPlan plan;
    plan.runCount = qBound(1, imit.ImitFlIndex + 1, kCheckRunsMax);
    for (int r = 0; r < kCheckRunsMax; ++r)
        plan.runs[r] = {imit.ImitAddr[r], imit.ImitNitka[r], imit.ImitMsbFirst[r]};
    plan.speedIndex = imit.ImitSpeedIndex;
    plan.output = imit.output;
    setRunsAndOutput(plan);
    showRunCount(plan.runCount);
}

void CheckPlanEditor::setRunsAndOutput(const CheckPlan& plan) {
    runCount_->setValue(plan.runCount);
    for (int r = 0; r < kCheckRunsMax; ++r) {
        runs_[std::size_t(r)].address->setValue(plan.runs[r].address);
        runs_[std::size_t(r)].run->setValue(plan.runs[r].run);
        runs_[std::size_t(r)].order->setCurrentIndex(plan.runs[r].msbFirst ? 0 : 1);
    }
    speed_->setCurrentIndex(plan.speedIndex);
    v_->setText(plan.output.knowsV() ? ShortNumber(plan.output.v, 6) : QString());
    pulse_->setText(plan.output.knowsTiming() ? ShortNumber(plan.output.pulseS, 2) : QString());
    pause_->setText(plan.output.knowsTiming() ? ShortNumber(plan.output.pauseS, 2) : QString());
}

void CheckPlanEditor::setPlan(const CheckPlan& plan) {
    setRunsAndOutput(plan);
    steps_->setRowCount(0);
    for (const CheckStep& step : plan.steps) {
        steps_->insertRow(steps_->rowCount());
        setStepRow(steps_->rowCount() - 1, step);
    }
    tolerance_->setValue(plan.tolerance);
    site_->setText(plan.site);
    object_->setText(plan.object);
    engineer_->setText(plan.engineer);
    showRunCount(plan.runCount);
}

bool CheckPlanEditor::readPlan(CheckPlan* plan, QString* problem) const {
    CheckPlan read;
    read.runCount = runCount_->value();
    for (int r = 0; r < kCheckRunsMax; ++r) {
        const RunControls& run = runs_[std::size_t(r)];
        read.runs[r] = {quint8(run.address->value()), quint8(run.run->value()),
                        run.order->currentIndex() == 0};
    }
    read.speedIndex = speed_->currentIndex();
    if (!ReadPositive(v_, QStringLiteral("Цена импульса"), &read.output.v, problem) ||
        !ReadPositive(pulse_, QStringLiteral("Импульс"), &read.output.pulseS, problem) ||
        !ReadPositive(pause_, QStringLiteral("Пауза"), &read.output.pauseS, problem))
        return false;
    for (int row = 0; row < steps_->rowCount(); ++row) {
        CheckStep step;
        if (!readStep(row, &step, problem))
            return false;
        read.steps << step;
    }
    read.tolerance = tolerance_->value();
    read.site = site_->text().trimmed();
    read.object = object_->text().trimmed();
    read.engineer = engineer_->text().trimmed();
    *plan = read;
    return true;
}

bool CheckPlanEditor::readStep(int row, CheckStep* step, QString* problem) const {
    const auto cell = [this, row](int column) {
        const QTableWidgetItem* item = steps_->item(row, column);
        return item ? NormalizeDecimalSeparator(item->text()).trimmed() : QString();
    };
    const auto refuse = [&](int column) {
        *problem = QStringLiteral("Шаг %1, %2: '%3' - не число.")
                       .arg(row + 1)
                       .arg(StepHeaders()[column], steps_->item(row, column)->text());
        steps_->setCurrentCell(row, column);
        return false;
    };
    for (int r = 0; r < runCount_->value(); ++r)
        if (!TryParseNumber(cell(kFlow1 + r), &step->flowsM3h[std::size_t(r)]))
            return refuse(kFlow1 + r);
    const QString pulses = cell(kPulses);
    const QString seconds = cell(kSeconds);
    if (pulses.isEmpty() == seconds.isEmpty()) {
        *problem = QStringLiteral("Шаг %1: укажите либо число импульсов, либо длительность в секундах.")
                       .arg(row + 1);
        return false;
    }
    double value = 0;
    if (!TryParseNumber(pulses.isEmpty() ? seconds : pulses, &value))
        return refuse(pulses.isEmpty() ? kSeconds : kPulses);
    if (pulses.isEmpty()) {
        step->target = CheckStep::Target::Seconds;
        step->seconds = value;
    } else {
        if (value != std::floor(value) || std::abs(value) > 1e15)
            return refuse(kPulses);
        step->target = CheckStep::Target::Pulses;
        step->pulses = qint64(value);
    }
    return true;
}

void CheckPlanEditor::setStepRow(int row, const CheckStep& step) {
    const bool pulses = step.target == CheckStep::Target::Pulses;
    QStringList texts;
    for (double flow : step.flowsM3h)
        texts << ShortNumber(flow, 3);
    texts << (pulses ? QString::number(step.pulses) : QString())
          << (pulses ? QString() : ShortNumber(step.seconds, 3));
    for (int column = 0; column < kColumns; ++column) {
        auto* item = new QTableWidgetItem(column < texts.size() ? texts[column] : QString());
        if (column >= kExpected)
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        steps_->setItem(row, column, item);
    }
}

void CheckPlanEditor::showRunCount(int runs) {
    for (int r = 0; r < kCheckRunsMax; ++r) {
        const RunControls& run = runs_[std::size_t(r)];
        for (QWidget* w : {static_cast<QWidget*>(run.caption), static_cast<QWidget*>(run.address),
                           static_cast<QWidget*>(run.run), static_cast<QWidget*>(run.order)})
            w->setVisible(r < runs);
        steps_->setColumnHidden(kFlow1 + r, r >= runs);
    }
}

void CheckPlanEditor::addStep() {
    // A new step starts as a copy of the current one, the usual way to draw up a series of flows.
    CheckStep step;
    QString ignored;
    const int current = steps_->currentRow();
    if (current >= 0)
        readStep(current, &step, &ignored);
    const int row = current >= 0 ? current + 1 : steps_->rowCount();
    steps_->insertRow(row);
    setStepRow(row, step);
    steps_->setCurrentCell(row, kFlow1);
}

void CheckPlanEditor::removeStep() {
    const int row = steps_->currentRow();
    if (row >= 0)
        steps_->removeRow(row);
}

void CheckPlanEditor::moveStep(int by) {
    const int row = steps_->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= steps_->rowCount())
        return;
    for (int column = 0; column < kColumns; ++column) {
        QTableWidgetItem* a = steps_->takeItem(row, column);
        QTableWidgetItem* b = steps_->takeItem(to, column);
        steps_->setItem(row, column, b);
        steps_->setItem(to, column, a);
    }
    steps_->setCurrentCell(to, steps_->currentColumn());
}

void CheckPlanEditor::setEditable(bool editable) {
    QList<QWidget*> controls{runCount_, speed_, v_, pulse_, pause_, tolerance_, site_, object_, engineer_};
    for (const RunControls& run : runs_)
        controls << run.address << run.run << run.order;
    for (QPushButton* b : stepButtons_)
        controls << b;
    for (QWidget* w : controls)
        w->setEnabled(editable);
    // The table stays readable and scrollable while a check runs; only its cells are kept from editing.
    steps_->setEditTriggers(editable ? kEditTriggers : QAbstractItemView::NoEditTriggers);
}

void CheckPlanEditor::showStepResult(int step, const CheckStepResult& result, CheckVerdict verdict) {
    if (step < 0 || step >= steps_->rowCount())
        return;
    const auto set = [this, step](int column, const QString& text) {
        steps_->item(step, column)->setText(text);
    };
    set(kExpected, QString::number(result.expectedPulses));
    set(kCounted, result.countedPulses ? QString::number(*result.countedPulses) : QString());
    set(kDifference, result.countedPulses ? QString::number(StepDifference(result)) : QString());
    set(kVerdict, VerdictText(verdict) + (result.lineLost ? kLostLine : QString()));
    steps_->scrollToItem(steps_->item(step, kVerdict));
}

void CheckPlanEditor::clearResults() {
    for (int row = 0; row < steps_->rowCount(); ++row)
        for (int column = kExpected; column < kColumns; ++column)
            steps_->item(row, column)->setText(QString());
}
