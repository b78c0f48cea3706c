#include "reception/MessageActionState.h"

#include "core/ReportName.h"

#include "reception/ReportFile.h"
#include "platform/TextRules.h"

#include <QFileInfo>

namespace {

// The free text of a report starts on its 13th line.
constexpr int kFirstFreeTextLine = 12;

// True when one line of the body holds anything (blanks count).
bool hasNonEmptyLine(const QString &text)
{
    for (const QChar ch : text)
        if (ch != u'\n' && ch != u'\r')
            return true;
    return false;
}

} // namespace

MessageActionState::MessageActionState(const QString &emailsFolder, const QStringList &attachments,
                                       const QString &bodyText)
{
    const bool body = hasNonEmptyLine(bodyText);
    for (const QString &name : attachments) {
        if (!QFileInfo(name).fileName().startsWith(QLatin1String(ReportName::kReportPrefix)))
            continue;
        m_hasReport = true;
        m_preview.clear();
        QString failure;
        // An unreadable report keeps what was read and is reported; the
        // dialog still settles its views and buttons.
        if (!readPreview(emailsFolder + name, m_preview, &failure) && m_failure.isEmpty())
            m_failure = failure;
        m_previewInFront = !body;
        m_toggleVisible = body;
    }
}

QString MessageActionState::toggleCaption() const
{
    return QString::fromUtf8(m_captionShows ? kShowCaption : kHideCaption);
}

void MessageActionState::toggle()
{
    m_previewInFront = m_captionShows;
    m_captionShows = !m_captionShows;
}

std::optional<QString> MessageActionState::reportLineText(const QString &line)
{
    // "KORVA|label|key|type|value|": a field counts only with its closing "|".
    const QStringList fields = line.split(u'|');
    const auto closed = [&fields](qsizetype index) {
        return fields.size() > index + 1 ? fields.at(index) : QString();
    };
    QString value = closed(4);
    if (value == QLatin1String("False"))
        value = QStringLiteral("Non");
    else if (value == QLatin1String("True"))
        value = QStringLiteral("Oui");
    if (TextRules::trim32(value).isEmpty())
        return std::nullopt;
    return closed(1) + QStringLiteral(" : ") + value;
}

bool MessageActionState::readPreview(const QString &fileName, QStringList &lines, QString *failure)
{
    ReportLineReader reader(fileName);
    const auto failed = [&reader, failure] {
        if (failure)
            *failure = reader.failureMessage();
        return false;
    };
    QString line;
    reader.readLine(line);
    int counter = 0;
    bool dataSection = false;
    while (line != QLatin1String(ReportMarkers::kEndOfFile)) {
        if (reader.failure() != ReportReadFailure::None)
            return failed();
        // The file's last line is where the walk stops.
        if (reader.atEnd())
            break;
        if (line == QLatin1String(ReportMarkers::kEndOfBlock)) {
            // skipped
        } else if (line == QLatin1String(ReportMarkers::kDataSection) || dataSection) {
            if (dataSection && line.startsWith(QLatin1String(ReportMarkers::kDataLinePrefix)))
                if (const auto text = reportLineText(line))
                    lines.append(*text);
            dataSection = true;
            --counter;
        } else if (counter >= kFirstFreeTextLine) {
            lines.append(line);
        }
        reader.readLine(line);
        ++counter;
    }
    if (reader.failure() != ReportReadFailure::None)
        return failed();
    return true;
}

QString MessageActionState::messageNumberText(int current, int count)
{
    return QStringLiteral("Message n°%1/%2").arg(current).arg(count);
}
