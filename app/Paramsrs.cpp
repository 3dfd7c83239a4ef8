#include "Paramsrs.h"

#include "JobView.h"
#include "Now_opros.h"
#include "UiCommon.h"
#include "ui_Paramsrs.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

TParamsRSForm::TParamsRSForm(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TParamsRSForm>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    ui->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui->BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    // Centred on the desktop rather than over the main window; an explicit position is kept by Qt.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TParamsRSForm::~TParamsRSForm() = default;

RadioGroup* TParamsRSForm::PortGroup() const { return ui->PortGroup; }
RadioGroup* TParamsRSForm::RTSRadioGroup() const { return ui->RTSRadioGroup; }

void ParamRSButtonClick(JobView& view, Link& link) {
    QWidget* mainForm = view.dialogParent();
    {
        // Destroyed when the block is left, also by an exception.
        TParamsRSForm form(mainForm);
        form.PortGroup()->setItemIndex(link.PortNumber);
        form.RTSRadioGroup()->setItemIndex(link.RtsControl ? 1 : 0);
        // Shown again, as the operator left it, for as long as the chosen port fails to open.
        while (form.exec() == QDialog::Accepted) {
            link.RtsControl = form.RTSRadioGroup()->itemIndex() == 1 ? 1 : 0;
            const int chosen = qMax(0, form.PortGroup()->itemIndex());
            link.PortNumber = chosen;
            OpenPort(link); // on failure it has shown the system's text and set PortNumber to 0
            if (chosen == link.PortNumber)
                break;
            ShowMessage(mainForm, QStringLiteral("Select other COM-port!"), QStringLiteral("Message"),
                        QMessageBox::Information);
        }
    }
    UpdateStatusLabels(view, link);
}
