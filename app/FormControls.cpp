#include "FormControls.h"
#include "ui_VexmorMain.h"

TFormControls::TFormControls(std::function<void()> makeNow) : makeNow_(std::move(makeNow)) {}
TFormControls::~TFormControls() = default;

Ui::VexmorMainForm* TFormControls::operator->() const {
    if (!made_) makeNow_();
    return made_.get();
}

bool TFormControls::Allocate() {
    if (made_) return false;
    made_ = std::make_unique<Ui::VexmorMainForm>();
    return true;
}
