#include "reception/ReportFile.h"

#include "platform/TextRules.h"
#include "platform/Windows1252.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTime>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kChunk = 64 * 1024;

struct OpenFile {
    int fd;
    ~OpenFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

ReportLineReader::ReportLineReader(const QString &fileName)
    : m_name(fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists() || !info.isFile()) {
        fail(ReportReadFailure::CannotOpen);
        return;
    }
    if (info.size() > kMaxFileSize) {
        fail(ReportReadFailure::FileTooLarge);
        return;
    }
    m_file = std::make_unique<QFile>(fileName);
    if (!m_file->open(QIODevice::ReadOnly)) {
        fail(ReportReadFailure::CannotOpen);
        return;
    }
    m_device = m_file.get();
}

ReportLineReader::ReportLineReader(QIODevice *device, const QString &name)
    : m_device(device), m_name(name)
{
    if (!device || !device->isReadable())
        fail(ReportReadFailure::CannotOpen);
}

ReportLineReader::ReportLineReader(const QByteArray &content, const QString &name)
    : m_name(name), m_buffer(content), m_total(content.size()), m_deviceEnd(true)
{
}

ReportLineReader::~ReportLineReader() = default;

ReportRead<QByteArray> ReportLineReader::readFile(const QString &fileName)
{
    // One open, one status and the reads the size calls for: the import reads
    // every report this way, and a device's setup would cost more than that.
    ReportLineReader reader(QByteArray(), fileName);
    const QByteArray encoded = QFile::encodeName(fileName);
    // Not blocking: a pipe given the name of a report is refused, not waited on.
    const OpenFile file{::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    const int fd = file.fd;
    if (fd < 0) {
        struct stat info {};
        const bool tooLarge =
            ::stat(encoded.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > kMaxFileSize;
        reader.fail(tooLarge ? ReportReadFailure::FileTooLarge : ReportReadFailure::CannotOpen);
        return reader.result(QByteArray());
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        reader.fail(ReportReadFailure::CannotOpen);
        return reader.result(QByteArray());
    }
    if (info.st_size > kMaxFileSize) {
        reader.fail(ReportReadFailure::FileTooLarge);
        return reader.result(QByteArray());
    }
    // The file may grow while it is read: what comes past its size is read
    // too, within the bound.
    QByteArray content(qsizetype(info.st_size) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    for (;;) {
        if (got == content.size()) {
            if (got > kMaxFileSize) {
                reader.fail(ReportReadFailure::FileTooLarge);
                return reader.result(QByteArray());
            }
            content.resize(std::min<qsizetype>(got + kChunk, kMaxFileSize + 1));
        }
        const ssize_t n = ::read(fd, content.data() + got, size_t(content.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            reader.fail(ReportReadFailure::ReadFailed);
            return reader.result(QByteArray());
        }
        if (n == 0)
            break;
        got += n;
    }
    content.truncate(got);
    return reader.result(std::move(content));
}

void ReportLineReader::fail(ReportReadFailure failure)
{
    if (m_failure == ReportReadFailure::None)
        m_failure = failure;
    m_deviceEnd = true;
    m_buffer.clear();
    m_position = 0;
}

QString ReportLineReader::failureMessage() const
{
    switch (m_failure) {
    case ReportReadFailure::None:
        return QString();
    case ReportReadFailure::CannotOpen:
        return QStringLiteral("Impossible d'ouvrir le fichier [%1].").arg(m_name);
    case ReportReadFailure::FileTooLarge:
        return QStringLiteral("Le fichier [%1] est trop volumineux pour être un compte rendu.").arg(m_name);
    case ReportReadFailure::LineTooLong:
        return QStringLiteral("Le fichier [%1] contient une ligne trop longue pour être un compte rendu.").arg(m_name);
    case ReportReadFailure::ReadFailed:
        return QStringLiteral("Erreur de lecture du fichier [%1].").arg(m_name);
    }
    return QString();
}

// Appends one chunk of the device to the buffer; false when nothing came.
bool ReportLineReader::fill()
{
    if (m_deviceEnd)
        return false;
    if (m_position > 0) {
        m_buffer.remove(0, m_position);
        m_position = 0;
    }
    const qsizetype before = m_buffer.size();
    m_buffer.resize(before + kChunk);
    const qint64 got = m_device->read(m_buffer.data() + before, kChunk);
    if (got < 0) {
        fail(ReportReadFailure::ReadFailed);
        return false;
    }
    m_buffer.resize(before + got);
    m_total += got;
    if (m_total > kMaxFileSize) {
        fail(ReportReadFailure::FileTooLarge);
        return false;
    }
    if (got == 0) {
        m_deviceEnd = true;
        return false;
    }
    return true;
}

bool ReportLineReader::readLine(QString &line)
{
    // The line's storage is reused from one line to the next: no allocation
    // per line unless the caller kept a copy of the previous one.
    if (m_failure != ReportReadFailure::None) {
        line.clear();
        return false;
    }
    qsizetype searchFrom = m_position;
    for (;;) {
        const qsizetype newline = m_buffer.indexOf('\n', searchFrom);
        if (newline >= 0) {
            qsizetype end = newline;
            if (end > m_position && m_buffer.at(end - 1) == '\r')
                --end;
            if (end - m_position > kMaxLineLength) {
                fail(ReportReadFailure::LineTooLong);
                line.clear();
                return false;
            }
            Windows1252::decodeInto(QByteArrayView(m_buffer).sliced(m_position, end - m_position), line);
            m_position = newline + 1;
            return true;
        }
        if (m_buffer.size() - m_position > kMaxLineLength + 1) {
            fail(ReportReadFailure::LineTooLong);
            line.clear();
            return false;
        }
        const qsizetype scanned = m_buffer.size() - m_position;
        if (!fill()) {
            if (m_failure != ReportReadFailure::None || m_position >= m_buffer.size()) {
                line.clear();
                return false;
            }
            // The last line, without a line end.
            const qsizetype length = m_buffer.size() - m_position;
            if (length > kMaxLineLength) {
                fail(ReportReadFailure::LineTooLong);
                line.clear();
                return false;
            }
            Windows1252::decodeInto(QByteArrayView(m_buffer).sliced(m_position), line);
            m_position = m_buffer.size();
            return true;
        }
        searchFrom = m_position + scanned;
    }
}

bool ReportLineReader::atEnd()
{
    if (m_failure != ReportReadFailure::None)
        return true;
    if (m_position < m_buffer.size())
        return false;
    return !fill();
}

namespace ReportMarkers {

bool isEndOfBlock(const QString &line)
{
    return TextRules::equalsUpperAZ(TextRules::trim32View(line), QLatin1StringView(kEndOfBlock));
}

bool isEndOfFile(const QString &line)
{
    return TextRules::equalsUpperAZ(TextRules::trim32View(line), QLatin1StringView(kEndOfFile));
}

bool isDataSectionStart(const QString &line)
{
    return TextRules::trim32View(line) == QLatin1StringView(kDataSection);
}

bool isDataLine(const QString &line)
{
    return line.startsWith(QLatin1StringView(kDataLinePrefix));
}

bool isSenderLine(const QString &line)
{
    return TextRules::containsUpperAZ(line, QLatin1StringView(kSenderLine));
}

bool isRecipientLine(const QString &line)
{
    return TextRules::containsUpperAZ(line, QLatin1StringView(kRecipientLine));
}

QString addressValue(const QString &line)
{
    const qsizetype first = line.indexOf(QLatin1String("||"));
    const qsizetype end = line.indexOf(QLatin1String("||||"));
    if (first < 0 || end < 0)
        return QString();
    const qsizetype count = end - first - 2;
    if (count < 1)
        return QString();
    return line.mid(first + 2, count);
}

} // namespace ReportMarkers

bool IsReportComplete(ReportLineReader &reader)
{
    bool endOfBlock = false;
    bool endOfFile = false;
    QString line;
    while (reader.readLine(line)) {
        if (ReportMarkers::isEndOfBlock(line))
            endOfBlock = true;
        else if (ReportMarkers::isEndOfFile(line))
            endOfFile = true;
    }
    return endOfBlock && endOfFile;
}

bool ReportHasRecipient(const QString &email, ReportLineReader &reader)
{
    const QString wanted = TextRules::upperAZ(email);
    bool found = false;
    QString line;
    while (reader.readLine(line)) {
        if (!wanted.isEmpty() && ReportMarkers::isRecipientLine(line)
            && TextRules::upperAZ(line).contains(wanted))
            found = true;
    }
    return found;
}

QString GetReportRecipient(ReportLineReader &reader)
{
    QString recipient;
    QString line;
    while (reader.readLine(line)) {
        if (ReportMarkers::isRecipientLine(line))
            recipient = ReportMarkers::addressValue(line);
    }
    return recipient;
}

QString GetReportSender(ReportLineReader &reader)
{
    QString line;
    while (reader.readLine(line)) {
        if (ReportMarkers::isSenderLine(line))
            return ReportMarkers::addressValue(line);
    }
    return QString();
}

ReportRead<ReportContent> ReadReportContent(const QString &fileName)
{
    ReportRead<QByteArray> content = ReportLineReader::readFile(fileName);
    const auto failed = [](ReportReadFailure failure, const QString &message) {
        ReportRead<ReportContent> r;
        r.failure = failure;
        r.message = message;
        return r;
    };
    if (!content.ok())
        return failed(content.failure, content.message);
    ReportLineReader completeReader(content.value, fileName);
    const bool complete = IsReportComplete(completeReader);
    if (completeReader.failure() != ReportReadFailure::None)
        return failed(completeReader.failure(), completeReader.failureMessage());
    // Every line was read by the completeness pass: this one cannot fail.
    ReportLineReader senderReader(content.value, fileName);
    QString sender = GetReportSender(senderReader);
    return senderReader.result(ReportContent{std::move(content.value), complete, std::move(sender)});
}

ReportRead<bool> IsReportComplete(const QString &fileName)
{
    ReportLineReader reader(fileName);
    const bool complete = IsReportComplete(reader);
    return reader.result(complete);
}

ReportRead<bool> ReportHasRecipient(const QString &email, const QString &fileName)
{
    ReportLineReader reader(fileName);
    const bool found = ReportHasRecipient(email, reader);
    return reader.result(found);
}

ReportRead<QString> GetReportRecipient(const QString &fileName)
{
    ReportLineReader reader(fileName);
    QString recipient = GetReportRecipient(reader);
    return reader.result(std::move(recipient));
}

ReportRead<QString> GetReportSender(const QString &fileName)
{
    ReportLineReader reader(fileName);
    QString sender = GetReportSender(reader);
    return reader.result(std::move(sender));
}

std::optional<QString> SendDateFromFileName(const QString &fileName)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^KORVA_[^_]*_[^_]*_[^_]*_([0-9]{2})-([0-9]{2})-([0-9]{4})_([0-9]{2})-([0-9]{2})-([0-9]{2})\\..*$"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date(match.captured(3).toInt(), match.captured(2).toInt(), match.captured(1).toInt());
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return match.captured(3) + u'-' + match.captured(2) + u'-' + match.captured(1) + u' '
           + match.captured(4) + u':' + match.captured(5) + u':' + match.captured(6);
}

QString PadLeft(QChar ch, const QString &text, int width)
{
    QString result = text;
    while (result.size() < width)
        result.prepend(ch);
    return result;
}

QString DateTimeToMySQL(const QDateTime &value)
{
    const QDate d = value.date();
    const QTime t = value.time();
    const auto two = [](int n) { return PadLeft(u'0', QString::number(n), 2); };
    return QString::asprintf("%4d-", d.year()) + two(d.month()) + u'-' + two(d.day()) + u' '
           + two(t.hour()) + u':' + two(t.minute()) + u':' + two(t.second());
}
