#pragma once

#include "views/FieldColumnsModel.h"

#include <QDialog>
#include <QPixmap>
#include <QStyledItemDelegate>

class LocalTable;
class QLineEdit;
class QPrinter;

namespace Ui {
class TfShowResults;
}

// Draws an "Importé" cell: the cell's background only, with a check mark
// when the row was imported.
class CheckMarkDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit CheckMarkDelegate(QObject *parent = nullptr);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    static QPixmap checkMark(); // 13 x 13

private:
    QPixmap m_check;
};

// The list of the reports handled by an import run (the rows of "Temp.db"),
// printable in landscape with column widths in millimetres. Closing it
// empties "Temp.db" and keeps the widths in the section "ShowResults" of the
// configuration file.
class TfShowResults : public QDialog
{
    Q_OBJECT
public:
    // The list over the results table, opened here when needed.
    explicit TfShowResults(LocalTable *results, QWidget *parent = nullptr);
    ~TfShowResults() override;

    void BitBtn2Click();
    // Prints the list on a printer already chosen; false (after an error
    // box) when it could not.
    bool PrintTo(QPrinter &printer);
    // Empties the results table and saves the settings; never refuses.
    void FormCloseQuery();

    // The row of the printer list selected at opening: the default printer,
    // else the first one; -1 when no printer is installed.
    static int initialPrinter(const QStringList &printers, const QString &defaultPrinter);

    QLineEdit *widthEdit(int position) const; // Edit1 .. Edit8 for positions 0 .. 7
    static const QList<GridColumn> &resultColumns();
    static const QStringList &settingKeys();
    static const QStringList &defaultWidths();

    Ui::TfShowResults *ui;

protected:
    void done(int result) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void ImprimantesChange();

    LocalTable *m_results;
    FieldColumnsModel *m_model = nullptr;
    QList<QLineEdit *> m_edits;
    QList<int> m_layoutWidths;
    QString m_rememberedText;  // text of the width edit when it got the focus
    QString m_printerName;
};
