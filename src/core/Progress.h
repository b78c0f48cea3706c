#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace Ui {
class TFProgress;
}

// The small window shown while a file is downloaded: what is received, its
// size, a bar, and the received amount travelling with the bar.
class TFProgress : public QWidget
{
    Q_OBJECT
public:
    explicit TFProgress(QWidget *parent = nullptr);
    ~TFProgress() override;

    QLabel *Label1() const;
    QLabel *LTaille() const;
    QLabel *LPosition() const;
    QProgressBar *ProgressBar1() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    Ui::TFProgress *ui;
};
