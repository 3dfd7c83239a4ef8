#pragma once
// Widgets and helpers shared by every window of the tool: the radio group and spin edit controls, the
// message boxes and the standard exception box. What the jobs share without widgets is in JobCommon.h.
#include "JobCommon.h"

#include <QGroupBox>
#include <QMessageBox>
#include <QSpinBox>
#include <QStringList>
#include <functional>

class QButtonGroup;
class QPushButton;
class QTranslator;
class QLineEdit;
class QGridLayout;

// A captioned group of radio buttons laid out in `columns` columns, with an item index (-1 = none),
// as the forms' radio groups are. Items and columns can be set from a Designer form (properties
// "items" and "columns").
class RadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int columns READ columns WRITE setColumns)
    Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex NOTIFY itemIndexChanged)
public:
    explicit RadioGroup(QWidget* parent = nullptr);
    QStringList items() const { return items_; }
    void setItems(const QStringList& items);
    int columns() const { return columns_; }
    void setColumns(int columns);
    int itemIndex() const;
    void setItemIndex(int index); // -1 or out of range clears the choice
    class QRadioButton* button(int index) const;

signals:
    void itemIndexChanged(int index);
    // The operator clicked an item (not emitted by setItemIndex).
    void clicked(int index);

private:
    void rebuild();
    QStringList items_;
    int columns_ = 1;
    QButtonGroup* group_;
    QGridLayout* grid_;
};

// A spin edit that holds its value within its bounds: values set from outside or typed in are brought
// to the nearest bound, and a text that is not a whole number reads as the lower bound.
class SpinEdit : public QSpinBox {
    Q_OBJECT
public:
    explicit SpinEdit(QWidget* parent = nullptr);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    int valueFromText(const QString& text) const override;
};

// The standard exception box: caption the application title, error icon, OK, and ExceptionBoxText's text.
void ShowExceptionBox(QWidget* parent, const QString& message);

// Shows the exception in flight (call only inside a catch block) in the standard exception box: a
// UserError with its message, any other exception as an internal error (a std::exception with its what()
// text).
void ShowCurrentException(QWidget* parent);
// Runs body; an exception that leaves it is shown as above and goes no further, so the caller (an event
// handler) returns normally and the message loop goes on. False when an exception was shown.
bool RunShowingExceptions(QWidget* parent, const std::function<void()>& body);

// Qt's own texts (the Yes and No of the message boxes, the file dialogs) in Russian whatever the system's
// language, as every window of the tool speaks: qtbase_ru from `folder`, Qt's translations folder unless
// told. The translator belongs to `owner` and leaves the application with it; nothing when the
// translation is not installed, and the program goes on with Qt's English texts.
QTranslator* InstallQtRussian(QObject* owner, const QString& folder = {});
// Qt's own file dialog (where the system gives none) names the files' types in the shared MIME database's
// English ("Folder", "plain text document") whatever the translation: from now on, while `owner` lives,
// every file dialog of the application shows no type column; the names' suffixes say as much.
void HideFileDialogTypes(QObject* owner);

// Runs a dialog modal to its parent's window only, so that the line monitor and the journal stay usable
// while it is up (the main window's job guard keeps a second job out); without a parent it blocks every
// window, as exec() alone does. Returns exec()'s result.
int ExecModal(QDialog& dialog);

// A message box with one OK button.
void ShowMessage(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon);

// A push button of a tool window: its text with a mnemonic, a name for a screen reader, and no default
// role, so that Enter in an edit field presses nothing.
QPushButton* PlainButton(const QString& text, const QString& accessibleName, QWidget* parent);
// A path to save to, asked with the system's dialog, ending in suffix (".pdf"); the filter reads
// "name (*suffix)". Empty when the operator changed their mind.
QString AskSavePath(QWidget* parent, const QString& caption, const QString& name, const QString& suffix);
// A job's message in that box, its weight as the icon.
void ShowNotice(QWidget* parent, Notice kind, const QString& caption, const QString& text);
// A question box with Yes and No, No the default and the Escape answer; true for Yes.
bool AskYesNo(QWidget* parent, const QString& caption, const QString& text);

// Normalises the decimal separators of an edit's text and writes it back (the operator sees it).
void NormalizeDecimalSeparator(QLineEdit* edit);
// NormalizeDecimalSeparator, then ParseNumber (throws UserError).
double ReadNumber(QLineEdit* edit);
