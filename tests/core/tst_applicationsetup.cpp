#include "ApplicationSetup.h"

#include <QApplication>
#include <QtTest>

class ApplicationSetupTest : public QObject
{
    Q_OBJECT
private slots:
    void qtDialogsInFrench_data();
    void qtDialogsInFrench();
};

void ApplicationSetupTest::qtDialogsInFrench_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("french");
    QTest::newRow("file chooser") << "QFileDialog" << "Look in:" << "Voir dans :";
    QTest::newRow("button") << "QPlatformTheme" << "Cancel" << "Annuler";
}

void ApplicationSetupTest::qtDialogsInFrench()
{
    QFETCH(QString, context);
    QFETCH(QString, english);
    QFETCH(QString, french);
    static const bool installed = ApplicationSetup::installQtFrench(*qApp);
    QVERIFY(installed);
    QCOMPARE(QCoreApplication::translate(context.toUtf8(), english.toUtf8()), french);
}

QTEST_MAIN(ApplicationSetupTest)
#include "tst_applicationsetup.moc"
