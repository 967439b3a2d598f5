#pragma once

#include <string>

namespace zuvemo::marketdata {

// A place for one secret outside the program's files, such as the desktop's keyring.
class SecretStore
{
public:
    enum class Status { Found, NotFound, Unavailable };

    virtual ~SecretStore() = default;
    virtual Status read(std::string& secret) = 0;
    // False when the secret could not be stored there (no service running, access refused).
    virtual bool write(const std::string& secret) = 0;
    virtual bool remove() = 0;
};

} // namespace zuvemo::marketdata
