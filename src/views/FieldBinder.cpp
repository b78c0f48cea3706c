#include "views/FieldBinder.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>

FieldBinder::FieldBinder(LocalDataSet *dataSet, QObject *parent) : QObject(parent), m_dataSet(dataSet)
{
    connect(dataSet, &LocalDataSet::afterScroll, this, &FieldBinder::refresh);
    connect(dataSet, &LocalDataSet::afterOpen, this, &FieldBinder::refresh);
    connect(dataSet, &LocalDataSet::afterClose, this, &FieldBinder::refresh);
    connect(dataSet, &LocalDataSet::rowsChanged, this, &FieldBinder::refresh);
}

void FieldBinder::bind(QLineEdit *edit, const QString &field)
{
    edit->setReadOnly(true);
    m_bindings.append({edit, field});
}

void FieldBinder::bind(QCheckBox *box, const QString &field)
{
    // The data is read-only: the box shows the value and cannot be toggled.
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setFocusPolicy(Qt::NoFocus);
    m_bindings.append({box, field});
}

void FieldBinder::bind(QPlainTextEdit *memo, const QString &field)
{
    memo->setReadOnly(true);
    m_bindings.append({memo, field});
}

void FieldBinder::refresh()
{
    const bool onRow = m_dataSet && m_dataSet->isActive() && m_dataSet->recNo() >= 0;
    for (const Binding &binding : std::as_const(m_bindings)) {
        if (!binding.control)
            continue;
        const int index = onRow ? m_dataSet->fieldIndex(binding.field) : -1;
        if (auto *box = qobject_cast<QCheckBox *>(binding.control)) {
            box->setChecked(index >= 0 && m_dataSet->field(index).asBoolean());
            continue;
        }
        const QString text = index < 0 ? QString() : m_dataSet->field(index).asString();
        if (auto *edit = qobject_cast<QLineEdit *>(binding.control)) {
            edit->setText(text);
            edit->setCursorPosition(0);
        } else if (auto *memo = qobject_cast<QPlainTextEdit *>(binding.control)) {
            memo->setPlainText(text);
        }
    }
}
