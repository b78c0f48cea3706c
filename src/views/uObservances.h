#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class FieldBinder;
class FieldColumnsModel;
class LocalDataSet;
class QChart;
class QLineSeries;
class QMdiArea;
struct GridColumn;

namespace Ui {
class TfObservance;
}

// The observance window: one observance of the current patient in full (the
// controls follow the current row of the main window's observance query),
// four charts of the patient's history, an optional grid of all the patient's
// observances and the links to the providers' sites. Globals::fObservance
// designates it while it exists.
class TfObservance : public QWidget
{
    Q_OBJECT
public:
    // The window over the observance query; it reads the grid layout from the
    // configuration file and sets its accented captions.
    explicit TfObservance(LocalDataSet *observances, QWidget *parent = nullptr);
    ~TfObservance() override;

    // Creates the window as a maximised child window of the area, shown at
    // once, and makes Globals::fObservance designate it.
    static TfObservance *open(QMdiArea *area, LocalDataSet *observances);

    // Clears the five series and fills them from every row of the query.
    void fillSeries();
    // Shows each provider button exactly when the current observance holds
    // its link.
    void showProviderButtons();
    // Closes the window (its grid layout is saved) and frees it at once.
    void closeAndFree();

    // Series1 .. Series5 (1 to 5) and Chart1 .. Chart4 (1 to 4).
    QLineSeries *series(int number) const;
    QChart *chart(int number) const;

    void bGridClick();
    void SaveGridSettings();
    void BtWebClick();
    void BtOrkynClick();
    void BtVitalAirClick();

    // The history grid's columns, in layout order.
    static const QList<GridColumn> &historyColumns();
    static constexpr int kResumeHeight = 60;

    Ui::TfObservance *ui;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void setUpCharts();
    void setUpHistoryGrid();
    void bindDetailControls();
    void setResumeHeight(int height);
    void fitFrame();
    void placeProviderButtons();
    void openLink(const QString &field);
    QList<int> layoutWidths() const;

    QPointer<LocalDataSet> m_observances;
    FieldColumnsModel *m_historyModel = nullptr;
    FieldBinder *m_binder = nullptr;
    QList<QChart *> m_charts;
    QList<QLineSeries *> m_series;
    QList<int> m_columnWidths;   // history grid widths, hidden columns included
    int m_resumeHeight = kResumeHeight;
    int m_dragOrigin = 0; // global y of the grid panel's top while its splitter is dragged
};
