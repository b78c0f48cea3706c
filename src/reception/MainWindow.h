#pragma once

#include "Main.h"
#include "ObservanceDisplay.h"

// The main window as the program runs it: the frame with the commands of the
// patient display and of the mail account form bound in.
class MainWindow : public TfMain
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

    void bPatientClick() override;
    void fDateChange() override;
    void bImagesClick() override;
    void Sauvegarder1Click() override;

protected:
    void openMailAccountForm() override;

private:
    ObservanceDisplay m_display;
};
