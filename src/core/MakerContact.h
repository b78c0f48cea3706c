#pragma once

#include <QString>

// How the user reaches the maker of the program. The telephone number shown in
// the notices and messages comes from the configuration file, section "Main",
// key "MakerPhone"; a missing or blank value gives the built-in number.
class MakerContact
{
public:
    static QString telephone();

    static constexpr const char *kSection = "Main";
    static constexpr const char *kPhoneKey = "MakerPhone";
    static constexpr const char *kDefaultPhone = "01 23 45 67 89";
};
