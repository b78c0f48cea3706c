#include "fuzz/FuzzEntries.h"
#include "fuzz/FuzzMailEntries.h"

#include "platform/DecimalSeparator.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QtTest>

// Replays every saved fuzzing input through the fuzz targets' own entry
// functions: none may crash or break an invariant.
class FuzzRegressionsTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void replay_data();
    void replay();

private:
    std::unique_ptr<TestHome> m_home;
};

void FuzzRegressionsTest::init()
{
    Globals::reset();
    m_home = std::make_unique<TestHome>();
    Globals::ImportFolder = m_home->file("ForImportation/");
    Globals::BaseFolder = m_home->file("Base/");
    Globals::ForeignDecimalSeparator = QStringLiteral(".");
    DecimalSeparator::setOverride(u',');
}

void FuzzRegressionsTest::cleanup()
{
    DecimalSeparator::setOverride(QChar());
    m_home.reset();
    Globals::reset();
}

void FuzzRegressionsTest::replay_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("file");
    for (const char *name : {"report_reader", "data_line", "mail_message"}) {
        const QString target = QString::fromLatin1(name);
        const QDir corpus(QStringLiteral(FIXTURES_DIR "/fuzz-regressions/") + target);
        const QStringList files = corpus.entryList(QDir::Files | QDir::Hidden, QDir::Name);
        QVERIFY2(!files.isEmpty(), qPrintable(corpus.path() + " is empty"));
        for (const QString &file : files)
            QTest::newRow(qPrintable(target + '/' + file)) << target << corpus.filePath(file);
    }
}

void FuzzRegressionsTest::replay()
{
    QFETCH(QString, target);
    QFETCH(QString, file);
    QFile input(file);
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    const QString problem = target == QLatin1String("report_reader") ? FuzzEntries::reportReader(data, size_t(bytes.size()))
                          : target == QLatin1String("data_line")     ? FuzzEntries::dataLine(data, size_t(bytes.size()))
                                                                     : FuzzEntries::mailMessage(data, size_t(bytes.size()));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

QTEST_GUILESS_MAIN(FuzzRegressionsTest)
#include "tst_FuzzRegressions.moc"
