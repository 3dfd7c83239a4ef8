#pragma once
// The link-parameters dialog: the COM port (0 = none) and whether RTS is switched around each request.
#include <QDialog>
#include <QString>
#include <map>
#include <memory>

namespace Ui {
class TParamsRSForm;
}
class DeviceSource;
class PortDevicePanel;
class QComboBox;
class RadioGroup;
class JobView;
class Link;

class TParamsRSForm : public QDialog {
    Q_OBJECT
public:
    explicit TParamsRSForm(QWidget* parent = nullptr);
    ~TParamsRSForm() override;

    RadioGroup* PortGroup() const;     // item index = PortNumber
    RadioGroup* RTSRadioGroup() const; // 0 "Не управлять", 1 "Управлять"
    QComboBox* PortDeviceCombo() const;

    // Offers the devices of `source` for the COM item selected, starting from `paths` (COM1..COM8).
    void setDevices(DeviceSource& source, const std::map<int, QString>& paths);
    // The device of every COM item as edited.
    std::map<int, QString> devicePaths() const;

private:
    std::unique_ptr<Ui::TParamsRSForm> ui;
    PortDevicePanel* devices_ = nullptr;
};

// Click handler of the main window's ParamRSButton: shows the dialog until the chosen port opens (or
// none is chosen, or the operator cancels), then rewrites the main window's status panels. The choice
// stays in memory; the settings file gets it when the main window closes. The dialog and its box are
// modal over mainForm.
void ParamRSButtonClick(QWidget* mainForm, JobView& view, Link& link);
