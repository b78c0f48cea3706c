#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the per-message dialog shows when it opens, worked out from the files
// the message brought and its body text: the preview of the observance
// report, which view is in front, the toggle label and whether the message
// may be refused.
class MessageActionState
{
public:
    static constexpr char kShowCaption[] = "Afficher les données provenant de Selvantine";
    static constexpr char kHideCaption[] = "Masquer les données provenant de Selvantine";

    // emailsFolder ends with its separator; attachments are paths relative
    // to it, in the order of the list; bodyText is the plain-text body.
    MessageActionState(const QString &emailsFolder, const QStringList &attachments, const QString &bodyText);

    // True when a "KORVA_" file was among the attachments.
    bool hasReport() const { return m_hasReport; }
    const QStringList &preview() const { return m_preview; }
    bool previewInFront() const { return m_previewInFront; }
    bool toggleVisible() const { return m_toggleVisible; }
    bool refuseEnabled() const { return !m_toggleVisible; }
    // Empty, or the French message of a report that could not be read.
    const QString &failure() const { return m_failure; }

    QString toggleCaption() const;
    // The mouse entered the toggle label: the preview and the body change places.
    void toggle();

    // The preview line of one "KORVA|label|key|type|value|" data line, or
    // nothing when its value is blank or not closed by "|".
    static std::optional<QString> reportLineText(const QString &line);

    // The preview of one report file: the free text from its 13th line up to
    // its first "****LAB****", then one line per data line of every block.
    // False (failure set) when the file could not be read; lines holds what
    // was read until then.
    static bool readPreview(const QString &fileName, QStringList &lines, QString *failure);

    // "Message n°2/5".
    static QString messageNumberText(int current, int count);

private:
    QStringList m_preview;
    QString m_failure;
    bool m_hasReport = false;
    bool m_previewInFront = false;
    bool m_toggleVisible = false;
    bool m_captionShows = true;
};
