#pragma once
// The journal in a window of its own beside the main window (F3): configure jobs and bench checks newest
// first, filters by text and by kind, a note (site, object) for an entry, a check's report made again
// from its entry, and an export to CSV.
#include <QJsonObject>
#include <QList>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class TMainForm;
struct Program;

class JournalWindow : public QWidget {
    Q_OBJECT
public:
    explicit JournalWindow(const QString& journalPath, QWidget* parent = nullptr);

    // Reads the journal file again.
    void reload();
    // The entries the filter lets through, as CSV (the export button asks for the path first).
    bool exportCsv(const QString& path, QString* error);
    // Appends a note for the entry; the table shows it at once.
    bool attachNote(const QString& entryId, const QString& site, const QString& object, QString* error);

    QTableWidget* table() const { return table_; }
    QLineEdit* filterEdit() const { return filter_; }
    QComboBox* kindFilter() const { return kind_; }
    QPushButton* reportButton() const { return report_; }

private:
    void followFile();
    void applyFilter();
    void editNote();
    void exportClicked();
    void reportClicked();
    void updateReportButton();
    QList<QJsonObject> shownEntries() const;

    QString path_;
    QList<QJsonObject> entries_;
    QLineEdit* filter_;
    QComboBox* kind_;
    QPushButton* report_;
    QTableWidget* table_;
    QLabel* status_;
};

// F3 and the journal button open the window; every configure job ends with an entry in the journal.
void AttachJournal(TMainForm& mainForm, Program& program, const QString& journalPath);
