#include "UiCommon.h"

#include "NumText.h"
#include "UserError.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTranslator>
#include <QTreeView>

#include <algorithm>

RadioGroup::RadioGroup(QWidget* parent)
    : QGroupBox(parent), group_(new QButtonGroup(this)), grid_(new QGridLayout(this)) {
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
        emit itemIndexChanged(id);
        emit clicked(id);
    });
}

void RadioGroup::setItems(const QStringList& items) {
    items_ = items;
    rebuild();
}

void RadioGroup::setColumns(int columns) {
    columns_ = columns < 1 ? 1 : columns;
    rebuild();
}

void RadioGroup::rebuild() {
    const int keep = itemIndex();
    for (QAbstractButton* b : group_->buttons()) {
        group_->removeButton(b);
        delete b;
    }
    // Items run down the columns, as in the classic radio group: with 11 items in 4 columns the first
    // column holds items 0..2.
    const int n = int(items_.size());
    const int rows = (n + columns_ - 1) / columns_;
    for (int i = 0; i < n; ++i) {
        auto* b = new QRadioButton(items_[i], this);
        b->setObjectName(QStringLiteral("%1_item%2").arg(objectName()).arg(i));
        group_->addButton(b, i);
        grid_->addWidget(b, rows ? i % rows : 0, rows ? i / rows : 0);
    }
    setItemIndex(keep);
}

int RadioGroup::itemIndex() const {
    return group_->checkedId() < 0 ? -1 : group_->checkedId();
}

void RadioGroup::setItemIndex(int index) {
    QAbstractButton* b = group_->button(index);
    if (b) {
        b->setChecked(true);
    } else if (QAbstractButton* cur = group_->checkedButton()) {
        group_->setExclusive(false);
        cur->setChecked(false);
        group_->setExclusive(true);
    }
}

QRadioButton* RadioGroup::button(int index) const {
    return qobject_cast<QRadioButton*>(group_->button(index));
}

SpinEdit::SpinEdit(QWidget* parent) : QSpinBox(parent) {
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    setKeyboardTracking(false);
}

QValidator::State SpinEdit::validate(QString& input, int& pos) const {
    // Anything may be typed; fixup() decides when the focus leaves.
    const QValidator::State s = QSpinBox::validate(input, pos);
    return s == QValidator::Invalid ? QValidator::Intermediate : s;
}

void SpinEdit::fixup(QString& input) const {
    bool ok = false;
    const qlonglong v = input.trimmed().toLongLong(&ok);
    if (!ok)
        input = QString::number(minimum());
    else
        input = QString::number(std::clamp<qlonglong>(v, minimum(), maximum()));
}

int SpinEdit::valueFromText(const QString& text) const {
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok)
        return minimum();
    return int(std::clamp<qlonglong>(v, minimum(), maximum()));
}

int ExecModal(QDialog& dialog) {
    if (dialog.parentWidget())
        dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
}

void ShowMessage(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    ExecModal(box);
}

void ShowNotice(QWidget* parent, Notice kind, const QString& caption, const QString& text) {
    const QMessageBox::Icon icon = kind == Notice::Error     ? QMessageBox::Critical
                                   : kind == Notice::Warning ? QMessageBox::Warning
                                                             : QMessageBox::Information;
    ShowMessage(parent, text, caption, icon);
}

bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return ExecModal(box) == QMessageBox::Yes;
}

void ShowExceptionBox(QWidget* parent, const QString& message) {
    ShowMessage(parent, ExceptionBoxText(message), ApplicationTitle(), QMessageBox::Critical);
}

void ShowCurrentException(QWidget* parent) {
    try {
        throw;
    } catch (const UserError& e) {
        ShowExceptionBox(parent, e.message());
    } catch (const std::exception& e) {
        // The library's own words, in English, after ours.
        ShowExceptionBox(parent,
                         QStringLiteral("Внутренняя ошибка программы: ") + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowExceptionBox(parent, QStringLiteral("Внутренняя ошибка программы"));
    }
}

bool RunShowingExceptions(QWidget* parent, const std::function<void()>& body) {
    try {
        body();
        return true;
    } catch (...) {
        ShowCurrentException(parent);
        return false;
    }
}

QTranslator* InstallQtRussian(QObject* owner, const QString& folder) {
    auto* translator = new QTranslator(owner);
    const QString from = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    if (translator->load(QStringLiteral("qtbase_ru"), from) &&
        QCoreApplication::installTranslator(translator))
        return translator;
    delete translator;
    return nullptr;
}

namespace {

class FileDialogTypes : public QObject {
public:
    explicit FileDialogTypes(QObject* owner) : QObject(owner) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show)
            return false;
        if (auto* dialog = qobject_cast<QFileDialog*>(watched)) {
            // The detail view over the file system model: name, size, type, date.
            constexpr int kTypeColumn = 2;
            for (QTreeView* view : dialog->findChildren<QTreeView*>())
                view->header()->setSectionHidden(kTypeColumn, true);
        }
        return false;
    }
};

} // namespace

void HideFileDialogTypes(QObject* owner) {
    new FileDialogTypes(owner);
}

void NormalizeDecimalSeparator(QLineEdit* edit) {
    edit->setText(NormalizeDecimalSeparator(edit->text()));
}

double ReadNumber(QLineEdit* edit) {
    NormalizeDecimalSeparator(edit);
    return ParseNumber(edit->text());
}

QPushButton* PlainButton(const QString& text, const QString& accessibleName, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setAccessibleName(accessibleName);
    b->setAutoDefault(false);
    return b;
}

QString AskSavePath(QWidget* parent, const QString& caption, const QString& name, const QString& suffix) {
    QString path = QFileDialog::getSaveFileName(parent, caption, QString(),
                                                name + QStringLiteral(" (*") + suffix + QLatin1Char(')'));
    if (!path.isEmpty() && !path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    return path;
}
