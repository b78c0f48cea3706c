#pragma once

#include "platform/LocalTables.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

// Display-only controls bound to fields of a data set's current row: they
// show that row's values and follow every move, opening and closing of the
// data set (empty when it is closed or has no row).
class FieldBinder : public QObject
{
    Q_OBJECT
public:
    explicit FieldBinder(LocalDataSet *dataSet, QObject *parent = nullptr);

    void bind(QLineEdit *edit, const QString &field);
    void bind(QCheckBox *box, const QString &field);
    void bind(QPlainTextEdit *memo, const QString &field);

    void refresh();

private:
    struct Binding {
        QPointer<QWidget> control;
        QString field;
    };
    QPointer<LocalDataSet> m_dataSet;
    QList<Binding> m_bindings;
};
