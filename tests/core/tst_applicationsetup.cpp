#include "core/ApplicationSetup.h"
#include "core/Uabout.h"

#include <QApplication>
#include <QLabel>
#include <QtTest>

class ApplicationSetupTest : public QObject
{
    Q_OBJECT
private slots:
    void qtDialogsInFrench_data();
    void qtDialogsInFrench();
    void iconAndTitle();
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

void ApplicationSetupTest::iconAndTitle()
{
    QCoreApplication::setApplicationName(QStringLiteral("Tolvarenix Light - Visualiseur des observances"));
    ApplicationSetup::applyLook(*qApp);
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    QVERIFY(!QApplication::windowIcon().isNull());
    QWidget window;
    QCOMPARE(window.windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
    TfAbout about({});
    QVERIFY(!about.label("Image1")->pixmap().isNull());
}

QTEST_MAIN(ApplicationSetupTest)
#include "tst_applicationsetup.moc"
