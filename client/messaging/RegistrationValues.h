#pragma once

#include <string>

// The values of an account registration that the listener fills in (UTF-8).
struct RegistrationValues {
    std::string username;
    std::string password;
};
