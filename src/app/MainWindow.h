#pragma once

#include "core/Main.h"
#include "views/ObservanceDisplay.h"

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
    // Receives the e-mails, then imports the reports.
    void bEmailClick() override;

    // Imports the reports waiting in the import folder into the local tables.
    void ImportObservances();

protected:
    void openMailAccountForm() override;
    bool raiseMailAccountForm() override;

private:
    ObservanceDisplay m_display;
};
