#include "core/MakerContact.h"

#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

QString MakerContact::telephone()
{
    const QString phone = IniFile(ProgramFolder::configurationFile())
                              .readString(QLatin1String(kSection), QLatin1String(kPhoneKey))
                              .trimmed();
    return phone.isEmpty() ? QString::fromLatin1(kDefaultPhone) : phone;
}
