#pragma once

#include "platform/LocalTables.h"

#include <QDialog>

class FieldColumnsModel;

namespace Ui {
class TfImageForm;
}

// The documents attached to the current patient's observances, newest
// consultation first, narrowed to one consultation date when one is chosen;
// "Visualiser" opens the selected document.
class TfImageForm : public QDialog
{
    Q_OBJECT
public:
    // dateBoxText: the date the main window shows; the list opens filtered
    // on it when the patient has documents of that date.
    explicit TfImageForm(const QString &dateBoxText, QWidget *parent = nullptr);
    ~TfImageForm() override;

    // Creates the window, shows it modally; it frees itself when closed.
    static void open(const QString &dateBoxText, QWidget *parent = nullptr);

    void CBCritChange();
    void BtnBigImageClick();

    // The file of the current row (empty when there is no row).
    QString currentDocument();
    LocalQuery &QryImages() { return m_query; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void done(int result) override;

private:
    void FormCreate(const QString &dateBoxText);
    void FormResize();
    void QryImagesAfterOpen();
    void QryImagesAfterScroll();

    Ui::TfImageForm *ui;
    LocalQuery m_query;
    FieldColumnsModel *m_model = nullptr;
};
