#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <memory>
#include <optional>

class QIODevice;

// Received report files: Windows-1252 text, one byte per character, lines
// ended by CR LF or LF. Reading is bounded: a file or a line larger than any
// report is refused instead of being read whole.

enum class ReportReadFailure {
    None,
    CannotOpen,   // missing, unreadable or not a regular file
    FileTooLarge,
    LineTooLong,
    ReadFailed
};

// The outcome of reading a report: the value only counts when ok().
template <typename T>
struct [[nodiscard]] ReportRead {
    T value{};
    ReportReadFailure failure = ReportReadFailure::None;
    QString message; // French, names the file

    bool ok() const { return failure == ReportReadFailure::None; }
};

class ReportLineReader
{
public:
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;
    static constexpr qsizetype kMaxLineLength = 64 * 1024;

    // Reads the given file; the name is also the one used in messages.
    explicit ReportLineReader(const QString &fileName);
    // Reads an open device (tests, fuzzing); the name is used in messages.
    ReportLineReader(QIODevice *device, const QString &name);
    // Reads the bytes of a file already read whole (see readFile); the name
    // is used in messages.
    ReportLineReader(const QByteArray &content, const QString &name);
    ~ReportLineReader();

    ReportLineReader(const ReportLineReader &) = delete;
    ReportLineReader &operator=(const ReportLineReader &) = delete;

    // The next line without its line end; false at the end of the file or on
    // a failure (see failure()).
    bool readLine(QString &line);
    bool atEnd();

    // The whole content of a report file, read once so that each reader of
    // the file can take its pass over the same bytes; it fails as the
    // reader of the file would (a line too long is found by the passes).
    static ReportRead<QByteArray> readFile(const QString &fileName);

    ReportReadFailure failure() const { return m_failure; }
    QString failureMessage() const;

    template <typename T>
    ReportRead<T> result(T value) const
    {
        ReportRead<T> r;
        if (m_failure == ReportReadFailure::None)
            r.value = std::move(value);
        r.failure = m_failure;
        if (m_failure != ReportReadFailure::None)
            r.message = failureMessage();
        return r;
    }

private:
    bool fill();
    void fail(ReportReadFailure failure);

    std::unique_ptr<QFile> m_file;
    QIODevice *m_device = nullptr;
    QString m_name;
    QByteArray m_buffer;
    qsizetype m_position = 0;
    qint64 m_total = 0;
    bool m_deviceEnd = false;
    ReportReadFailure m_failure = ReportReadFailure::None;
};

// Marker tests of a report line.
namespace ReportMarkers {

inline constexpr char kEndOfBlock[] = "****FIN****";
inline constexpr char kEndOfFile[] = "****FINFICHIER****";
inline constexpr char kDataSection[] = "****LAB****";
inline constexpr char kDataLinePrefix[] = "KORVA|";
inline constexpr char kSenderLine[] = "KORVA|EXPEDITEUR|SENDER|";
inline constexpr char kRecipientLine[] = "KORVA|DESTINATAIRE|";

bool isEndOfBlock(const QString &line);      // upper-cased and trimmed
bool isEndOfFile(const QString &line);       // upper-cased and trimmed
bool isDataSectionStart(const QString &line); // trimmed, case as written
bool isDataLine(const QString &line);        // prefix at the first character, case as written
bool isSenderLine(const QString &line);      // upper-cased, anywhere in the line
bool isRecipientLine(const QString &line);   // upper-cased, anywhere in the line

// The address of a sender or recipient line, cut from the line as written:
// what stands between its first "||" and its first "||||".
QString addressValue(const QString &line);

} // namespace ReportMarkers

// The readers of a report file (full path). Each opens the file, reads it
// from its first line and closes it; a file that cannot be read gives a
// failed result.
ReportRead<bool> IsReportComplete(const QString &fileName);
ReportRead<bool> ReportHasRecipient(const QString &email, const QString &fileName);
ReportRead<QString> GetReportRecipient(const QString &fileName);
ReportRead<QString> GetReportSender(const QString &fileName);

// A report file read whole, with the passes of the import over its bytes
// that need nothing else: whether it is complete and its sender. It fails
// with the message of the first step that fails, in that order.
struct ReportContent {
    QByteArray bytes;
    bool complete = false;
    QString sender;
};
ReportRead<ReportContent> ReadReportContent(const QString &fileName);

// The same readers over an open reader (one pass each).
bool IsReportComplete(ReportLineReader &reader);
bool ReportHasRecipient(const QString &email, ReportLineReader &reader);
QString GetReportRecipient(ReportLineReader &reader);
QString GetReportSender(ReportLineReader &reader);

// The sending date and time of a report name "KORVA_a_b_c_dd-MM-yyyy_hh-mm-ss.ext"
// (bare name, no folder) as "yyyy-MM-dd hh:mm:ss"; empty when the name does
// not follow that pattern or holds no real date and time.
std::optional<QString> SendDateFromFileName(const QString &fileName);

// "yyyy-MM-dd hh:mm:ss" (year at least 4 wide), milliseconds dropped.
QString DateTimeToMySQL(const QDateTime &value);

// Text with ch put in front until it is width characters long.
QString PadLeft(QChar ch, const QString &text, int width);
