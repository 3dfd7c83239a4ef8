#include "Paramsrs.h"

#include "JobView.h"
#include "Now_opros.h"
#include "PortDevicePanel.h"
#include "SerialDevices.h"
#include "Settings.h"
#include "UiCommon.h"
#include "ui_Paramsrs.h"

#include <QGuiApplication>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>

TParamsRSForm::TParamsRSForm(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TParamsRSForm>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    ui->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui->BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    // Tab follows the window's order: COM items, device, RTS, OK, Cancel. The dialog opens on OK: an
    // arrow key among the COM items right after opening would choose another port unseen.
    QWidgetList order;
    const auto items = [&order](RadioGroup* group) {
        for (int i = 0; i < group->items().size(); ++i)
            order << group->button(i);
    };
    items(ui->PortGroup);
    order << ui->PortDeviceCombo;
    items(ui->RTSRadioGroup);
    order << ui->BitBtn1 << ui->BitBtn2;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    ui->BitBtn1->setFocus();
    // Centred on the desktop rather than over the main window; an explicit position is kept by Qt.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TParamsRSForm::~TParamsRSForm() = default;

RadioGroup* TParamsRSForm::PortGroup() const {
    return ui->PortGroup;
}
RadioGroup* TParamsRSForm::RTSRadioGroup() const {
    return ui->RTSRadioGroup;
}
QComboBox* TParamsRSForm::PortDeviceCombo() const {
    return ui->PortDeviceCombo;
}

void TParamsRSForm::setDevices(DeviceSource& source, const std::map<int, QString>& paths) {
    devices_ =
        new PortDevicePanel(ui->PortDeviceCombo, ui->DeviceLabel, ui->DeviceInfoLabel, source, paths, this);
    connect(ui->PortGroup, &RadioGroup::itemIndexChanged, devices_, &PortDevicePanel::showPort);
    devices_->showPort(ui->PortGroup->itemIndex());
}

std::map<int, QString> TParamsRSForm::devicePaths() const {
    return devices_ ? devices_->paths() : std::map<int, QString>{};
}

namespace {

std::map<int, QString> CurrentDevices(const Link& link) {
    std::map<int, QString> paths;
    for (int n = 1; n <= 8; ++n)
        paths[n] = PortDeviceName(link, n);
    return paths;
}

// The mappings the operator changed (an emptied one goes back to the default device).
void TakeDevices(Link& link, const std::map<int, QString>& edited) {
    for (const auto& [n, text] : edited) {
        const QString path = text.isEmpty() ? DefaultPortDevice(n) : text;
        if (DevicePath(path) != PortDeviceName(link, n))
            link.mapPortDevice(n, path);
    }
}

} // namespace

void ParamRSButtonClick(QWidget* mainForm, JobView& view, Link& link) {
    {
        // Destroyed when the block is left, also by an exception.
        // The system's devices are watched only while the dialog is up.
        std::unique_ptr<DeviceSource> systemDevices;
        if (!link.devices())
            systemDevices = std::make_unique<SystemDeviceSource>();
        TParamsRSForm form(mainForm);
        form.PortGroup()->setItemIndex(link.PortNumber());
        form.setDevices(link.devices() ? *link.devices() : *systemDevices, CurrentDevices(link));
        form.RTSRadioGroup()->setItemIndex(link.RtsControl() ? 1 : 0);
        // Shown again, as the operator left it, for as long as the chosen port fails to open.
        while (ExecModal(form) == QDialog::Accepted) {
            link.setRtsControl(form.RTSRadioGroup()->itemIndex() == 1 ? 1 : 0);
            TakeDevices(link, form.devicePaths());
            const int chosen = qMax(0, form.PortGroup()->itemIndex());
            link.setPortNumber(chosen);
            OpenPort(link); // on failure it has shown the system's text and set PortNumber to 0
            if (chosen == link.PortNumber())
                break;
            ShowMessage(mainForm, QStringLiteral("Select other COM-port!"), QStringLiteral("Message"),
                        QMessageBox::Information);
        }
    }
    UpdateStatusLabels(view, link);
}
