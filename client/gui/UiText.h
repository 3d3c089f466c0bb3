#pragma once

#include <QString>

#include "client/locale/Dictionary.h"

// A built-in English text of the windows in the user's language.
inline QString uiText(const char* english) {
    return QString::fromStdWString(Dictionary::translate(english));
}
