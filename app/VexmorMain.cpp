#include "VexmorMain.h"
#include "ui_VexmorMain.h"

#include "WinTools.h"

TVexmorMainForm::TVexmorMainForm(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::VexmorMainForm>()) {
    ui->setupUi(this);
    FormCreate();
}

TVexmorMainForm::~TVexmorMainForm() = default;

void TVexmorMainForm::FormCreate() {
    SetupFloatingPoint();
    // The window exists on the display while hidden, so a later start (and a user's tools) can
    // find it.
    (void)winId();
}

void TVexmorMainForm::ComeForward() {
    if (!isVisible()) return;
    raise();
    activateWindow();
}

void TVexmorMainForm::StartCapture(int mode) { (void)mode; }
