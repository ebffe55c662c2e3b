// The main window. It is created hidden and shown only on demand; its creation re-applies the
// floating-point state and its destruction is where the program's state is saved.
#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class VexmorMainForm;
}

class TVexmorMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TVexmorMainForm(QWidget* parent = nullptr);
    ~TVexmorMainForm() override;

    // A later start of the program asked this one to come forward: a shown window is raised and
    // activated; a hidden one stays hidden.
    void ComeForward();
    // Freezes the desktop and opens the overlay in the given mode (0 chosen key, 1 active window,
    // 2 magnifier). The overlay is not part of this build yet, so nothing happens.
    void StartCapture(int mode);

private:
    void FormCreate();
    std::unique_ptr<Ui::VexmorMainForm> ui;
};
