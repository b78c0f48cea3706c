#include "MakerContact.h"

#include "IniFile.h"
#include "ProgramFolder.h"

QString MakerContact::telephone()
{
    const QString phone = IniFile(ProgramFolder::configurationFile())
                              .readString(QLatin1String(kSection), QLatin1String(kPhoneKey))
                              .trimmed();
    return phone.isEmpty() ? QString::fromLatin1(kDefaultPhone) : phone;
}
