#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace kestra {

// Base of the program's failure classes. It carries a place (function or module) and a
// condition; what() returns the condition. Most throw sites write the real message to the
// log first and throw an empty exception: the log carries the text, the class the kind.
class BasicException : public std::exception {
public:
    BasicException() = default;
    BasicException(const std::string& place, const std::string& condition)
        : place_(place), condition_(condition) {}
    BasicException(const BasicException&) = default;
    BasicException& operator=(const BasicException&) = default;
    ~BasicException() override = default;

    const char* what() const noexcept override { return condition_.c_str(); }
    const std::string& place() const { return place_; }
    const std::string& condition() const { return condition_; }

private:
    std::string place_;
    std::string condition_;
};

#define KESTRA_DECLARE_EXCEPTION(Name)                               \
    class Name : public BasicException {                             \
    public:                                                          \
        Name() = default;                                            \
        Name(const std::string& place, const std::string& condition) \
            : BasicException(place, condition) {}                    \
        Name(const Name&) = default;                                 \
        Name& operator=(const Name&) = default;                      \
    }

KESTRA_DECLARE_EXCEPTION(NullPointerException);
KESTRA_DECLARE_EXCEPTION(IOStreamException);
KESTRA_DECLARE_EXCEPTION(GUICreateException);
KESTRA_DECLARE_EXCEPTION(GUIModifyException);
KESTRA_DECLARE_EXCEPTION(SettingsException);
KESTRA_DECLARE_EXCEPTION(SettingsCorruptException);
KESTRA_DECLARE_EXCEPTION(SettingsSavingException);
// A settings file that exists but cannot be read (unlike a corrupt one, it is never replaced).
KESTRA_DECLARE_EXCEPTION(SettingsReadingException);
KESTRA_DECLARE_EXCEPTION(CacheException);
KESTRA_DECLARE_EXCEPTION(CacheIsCorruptException);
KESTRA_DECLARE_EXCEPTION(CacheLoadingException);
KESTRA_DECLARE_EXCEPTION(CacheSavingException);
KESTRA_DECLARE_EXCEPTION(CanNotLoadCacheException);
KESTRA_DECLARE_EXCEPTION(NotFoundCacheDirectoryException);
KESTRA_DECLARE_EXCEPTION(MapLoaderException);
KESTRA_DECLARE_EXCEPTION(HTTPException);
KESTRA_DECLARE_EXCEPTION(SocketException);
KESTRA_DECLARE_EXCEPTION(GPSException);
// A failed step of installing an update package (the updater program).
KESTRA_DECLARE_EXCEPTION(UpdateException);

#undef KESTRA_DECLARE_EXCEPTION

// Thread start failure; a standard run-time error, not a BasicException.
class ThreadCreationException : public std::runtime_error {
public:
    ThreadCreationException() : std::runtime_error("thread not created") {}
};

// Declared for completeness; nothing throws it.
class TryMutexException : public std::exception {
public:
    const char* what() const noexcept override { return "TryMutexException"; }
};

}  // namespace kestra
