// The main window's generated controls (its tabs and everything on them), made on first use: every
// path that reads or writes them goes through here, so none can run before they exist.
#pragma once

#include <functional>
#include <memory>

namespace Ui {
class VexmorMainForm;
}

class TFormControls {
  public:
    // `makeNow` makes the controls and sets them up on the window (it calls Allocate first).
    explicit TFormControls(std::function<void()> makeNow);
    ~TFormControls();

    Ui::VexmorMainForm* operator->() const;
    Ui::VexmorMainForm& operator*() const { return *operator->(); }
    bool Made() const { return made_ != nullptr; }
    // Makes the generated object, not yet set up on a window; false when it exists already.
    bool Allocate();

  private:
    std::function<void()> makeNow_;
    std::unique_ptr<Ui::VexmorMainForm> made_;
};
