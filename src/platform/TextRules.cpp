#include "platform/TextRules.h"

namespace TextRules {

char16_t upperAZ(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') ? char16_t(u - 32) : u;
}

QString upperAZ(const QString &text)
{
    QString result = text;
    for (QChar &c : result)
        c = QChar(upperAZ(c));
    return result;
}

QStringView trim32View(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.sliced(begin, end - begin);
}

QString trim32(const QString &text)
{
    const QStringView trimmed = trim32View(text);
    return trimmed.size() == text.size() ? text : trimmed.toString();
}

namespace {

bool matchesUpperAZAt(QStringView text, qsizetype from, QLatin1StringView upper)
{
    for (qsizetype i = 0; i < upper.size(); ++i)
        if (upperAZ(text.at(from + i)) != char16_t(uchar(upper.at(i).toLatin1())))
            return false;
    return true;
}

} // namespace

bool equalsUpperAZ(QStringView text, QLatin1StringView upper)
{
    return text.size() == upper.size() && matchesUpperAZAt(text, 0, upper);
}

bool containsUpperAZ(QStringView text, QLatin1StringView upper)
{
    for (qsizetype from = 0; from + upper.size() <= text.size(); ++from)
        if (matchesUpperAZAt(text, from, upper))
            return true;
    return false;
}

QString fitFileName(const QString &name, int maxBytes)
{
    if (name.toUtf8().size() <= maxBytes)
        return name;
    const qsizetype dot = name.lastIndexOf(u'.');
    // An extension longer than a fifth of the room is no real extension.
    QString extension = dot > 0 ? name.mid(dot) : QString();
    if (extension.toUtf8().size() > maxBytes / 5)
        extension.clear();
    QString base = extension.isEmpty() ? name : name.left(dot);
    const qsizetype room = maxBytes - extension.toUtf8().size();
    while (!base.isEmpty() && base.toUtf8().size() > room) {
        base.chop(1);
        if (!base.isEmpty() && base.back().isHighSurrogate())
            base.chop(1);
    }
    return base + extension;
}

} // namespace TextRules
