#include "core/DeferredMemo.h"

#include <QPlainTextEdit>
#include <QtTest>

// A hidden memo takes its changes late; it must then hold exactly what a memo
// given each change at once holds.
class DeferredMemoTest : public QObject
{
    Q_OBJECT
private slots:
    void sameTextAsImmediateChanges_data();
    void sameTextAsImmediateChanges();
};

void DeferredMemoTest::sameTextAsImmediateChanges_data()
{
    // "+x" appends the line x, "=x" sets the text x; shownAfter: the number
    // of changes after which the memo is shown (-1: never, read hidden).
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<int>("shownAfter");
    const QStringList lines{"+un", "+", "+trois\u00A0mots", "+"};
    QTest::newRow("appended, read hidden") << lines << -1;
    QTest::newRow("empty line first") << QStringList{"+", "+x"} << -1;
    QTest::newRow("set, then appended") << QStringList{"=a\nb", "+c"} << -1;
    QTest::newRow("cleared after lines") << QStringList{"+a", "+b", "=", "+c"} << -1;
    QTest::newRow("cleared last") << QStringList{"+a", "="} << -1;
    QTest::newRow("shown midway") << QStringList{"+a", "=b", "+c", "+d", "=", "+e"} << 3;
    QTest::newRow("shown before any change") << lines << 0;
}

void DeferredMemoTest::sameTextAsImmediateChanges()
{
    QFETCH(QStringList, changes);
    QFETCH(int, shownAfter);
    QPlainTextEdit reference;
    QPlainTextEdit memo;
    DeferredMemo deferred(&memo);
    for (int i = 0; i < changes.size(); ++i) {
        if (i == shownAfter) {
            // Showing it plays what it missed.
            memo.show();
            QCOMPARE(memo.toPlainText(), reference.toPlainText());
        }
        const QString text = changes.at(i).mid(1);
        if (changes.at(i).startsWith(u'+')) {
            reference.appendPlainText(text);
            deferred.append(text);
        } else {
            reference.setPlainText(text);
            deferred.setText(text);
        }
    }
    if (shownAfter >= 0)
        QCOMPARE(memo.toPlainText(), reference.toPlainText());
    QCOMPARE(deferred.widget()->toPlainText(), reference.toPlainText());
    QCOMPARE(memo.blockCount(), reference.blockCount());
}

QTEST_MAIN(DeferredMemoTest)
#include "tst_deferredmemo.moc"
