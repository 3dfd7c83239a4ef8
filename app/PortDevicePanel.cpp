#include "PortDevicePanel.h"

#include "Now_opros.h"
#include "SerialDevices.h"
#include "Settings.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>

namespace {

// The list shows a device with its details; the edit line (and the mapping) take its path alone.
class DeviceItem : public QStandardItem {
public:
    explicit DeviceItem(const DeviceChoice& choice)
        : QStandardItem(DeviceChoiceText(choice)), path_(choice.path) {
        setToolTip(DeviceChoiceText(choice));
    }
    QVariant data(int role) const override {
        return role == Qt::EditRole ? QVariant(path_) : QStandardItem::data(role);
    }

private:
    QString path_;
};

} // namespace

PortDevicePanel::PortDevicePanel(QComboBox* combo, QLabel* title, QLabel* info, DeviceSource& source,
                                 std::map<int, QString> paths, QObject* parent)
    : QObject(parent), combo_(combo), title_(title), info_(info), source_(source), paths_(std::move(paths)) {
    combo_->setEditable(true);
    combo_->setInsertPolicy(QComboBox::NoInsert);
    // Mapped links may live anywhere (a pty's link beside the settings file): their folders are watched too.
    QStringList mapped;
    for (const auto& entry : paths_)
        mapped << entry.second;
    source_.watchAlso(mapped);
    connect(combo_, &QComboBox::editTextChanged, this, &PortDevicePanel::textEdited);
    connect(&source_, &DeviceSource::changed, this, &PortDevicePanel::refresh);
}

void PortDevicePanel::showPort(int portNumber) {
    port_ = portNumber;
    combo_->setEnabled(active());
    title_->setText(active() ? QStringLiteral("&Устройство COM%1:").arg(port_)
                             : QStringLiteral("&Устройство:"));
    const QString path = active() ? paths_[port_] : QString();
    fillList();
    filling_ = true;
    combo_->setEditText(path);
    // A by-id name is long: its start tells the kind of adapter.
    if (combo_->lineEdit())
        combo_->lineEdit()->setCursorPosition(0);
    filling_ = false;
    textEdited(path);
}

void PortDevicePanel::refresh() {
    // Devices come and go while the operator may be typing: only the list changes. The combo box puts
    // an item's text into the field whenever its list is rebuilt, so the field is put back as it was.
    QLineEdit* edit = combo_->lineEdit();
    const QString text = edit->text();
    const int cursor = edit->cursorPosition();
    const int selectionStart = edit->selectionStart();
    const int selectionLength = edit->selectionLength();
    fillList();
    filling_ = true;
    if (edit->text() != text)
        edit->setText(text);
    if (selectionLength <= 0)
        edit->setCursorPosition(cursor);
    else if (cursor == selectionStart) // selected backwards: the cursor stays at the selection's start
        edit->setSelection(selectionStart + selectionLength, -selectionLength);
    else
        edit->setSelection(selectionStart, selectionLength);
    filling_ = false;
    textEdited(text);
}

void PortDevicePanel::fillList() {
    filling_ = true;
    const QString path = active() ? paths_[port_] : QString();
    auto* model = qobject_cast<QStandardItemModel*>(combo_->model());
    model->clear();
    choices_ = DeviceChoices(source_, path);
    for (const DeviceChoice& choice : choices_)
        model->appendRow(new DeviceItem(choice));
    combo_->setCurrentIndex(active() ? combo_->findData(path, Qt::EditRole) : -1);
    filling_ = false;
}

void PortDevicePanel::textEdited(const QString& text) {
    if (filling_)
        return;
    if (!active()) {
        info_->clear();
        return;
    }
    const QString path = text.trimmed();
    paths_[port_] = path;
    info_->setText(describe(path));
}

QString PortDevicePanel::describe(const QString& path) const {
    if (path.isEmpty())
        return QStringLiteral("по умолчанию: ") + DefaultPortDevice(port_);
    for (const DeviceChoice& choice : choices_) {
        if (DevicePath(choice.path) == DevicePath(path) && !choice.details.isEmpty())
            return choice.details;
    }
    // Typed by hand, or not listed by the system (a pseudo-terminal, a link).
    return source_.exists(DevicePath(path)) ? QStringLiteral("есть в системе")
                                            : QStringLiteral("нет в системе");
}
