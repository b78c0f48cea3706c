#pragma once

#include <QWidget>

namespace Ui {
class TfStartup;
}

// The splash window shown while the main window is being created: the
// start-up artwork and the text of the current start-up step. It stays
// below every box and form shown while it is up.
class TfStartup : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kClientWidth = 627;
    static constexpr int kClientHeight = 173;
    // Label colour: dark blue (0, 0, 119).
    static constexpr QRgb kTextColour = 0xFF000077;

    explicit TfStartup(QWidget *parent = nullptr);
    ~TfStartup() override;

    // Shows a step text and paints it at once.
    void setStep(const QString &text);
    QString stepText() const;
    QString headerText() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    Ui::TfStartup *ui;
};
