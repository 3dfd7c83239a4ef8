#pragma once
// The window "Обмен по линии": every frame on the line as a row, the counters per job and per run, the
// diagnosis of the usual wiring faults above the rows, and the configure job's step in its status line.
// Non-modal; it shows what its monitor recorded, and closing it stops nothing.
#include "KindFilter.h"
#include "LineMonitor.h"

#include <QWidget>
#include <memory>

class QCheckBox;
class TMainForm;
class QLabel;
class QPushButton;
class QTableView;
class QTreeWidget;
class Link;
namespace proto {
struct FlowSlots;
}

class TMonitorForm : public QWidget {
    Q_OBJECT
public:
    TMonitorForm(Link& link, monitor::LineMonitor& lineMonitor, QWidget* parent = nullptr);
    ~TMonitorForm() override;

    // Shows the window (again) in front.
    void open();
    // The configure job's step on the line ("чтение таблицы 4, попытка 2 из 5"); empty when none is.
    void showProgress(const QString& step);

    monitor::LineMonitor& monitor() { return monitor_; }
    // The file the window keeps its size and place in: $RMZ47_MONITOR_SETTINGS when set, else
    // rmz47/monitor.ini under the user's configuration folder ($XDG_CONFIG_HOME, ~/.config).
    static QString settingsPath();

    // Selected rows as text, one line each (the columns separated by tabs).
    QString selectedText() const;
    // All rows shown (the filter applies) into a text file; false when it cannot be written.
    bool saveTo(const QString& path) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    QWidget* buildToolRow();
    void refresh();
    void refreshCounters();
    void copySelection();
    void saveAs();
    void restorePlace();
    void keepPlace() const;

    Link& link_;
    monitor::LineMonitor& monitor_;
    monitor::KindFilter filter_;
    QLabel* diagnosis_ = nullptr;
    QTableView* rows_ = nullptr;
    QTreeWidget* counters_ = nullptr;
    QLabel* status_ = nullptr;
    QCheckBox* autoScroll_ = nullptr;
    QString lastCounters_;
};

// The monitor beside the main window. It records the line into its bounded ring from the start, so that
// the window opened after a failure shows the exchange that failed; the window itself is made the first
// time it is opened (the start-up does not pay for it). The main window's button and F2 open it, F2 also
// while a job's dialog is up (where the main window's own shortcut is blocked); the configure job's steps
// go to its status line, and each job starts its counters afresh.
class MonitorHookup : public QObject {
public:
    MonitorHookup(TMainForm& mainForm, Link& link, const proto::FlowSlots* flowSlots);
    ~MonitorHookup() override;
    TMonitorForm& open();
    TMonitorForm* form() const { return form_.get(); }
    monitor::LineMonitor& lineMonitor() { return monitor_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TMainForm& mainForm_;
    Link& link_;
    monitor::LineMonitor monitor_; // outlives the window that shows it
    std::unique_ptr<TMonitorForm> form_;
};
