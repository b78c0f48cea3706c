#include "platform/TextRules.h"

namespace TextRules {

QString upperAZ(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            c = QChar(char16_t(u - 32));
    }
    return result;
}

QString trim32(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
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
