#pragma once

#include "marketdata/jquants/SecretStore.h"

#include <memory>

class QCoreApplication;

namespace zuvemo::keyring {

// The desktop's keyring: the Secret Service of a Linux desktop (GNOME Keyring, KWallet), the
// Credential Manager on Windows. Where none runs every call says Unavailable at once, so the
// caller falls back to its file.
class DesktopKeyring : public marketdata::SecretStore
{
public:
    static constexpr const char* kService = "zuvemo";
    static constexpr const char* kEntry = "jquants-api-key";

    DesktopKeyring();
    ~DesktopKeyring() override;

    Status read(std::string& secret) override;
    bool write(const std::string& secret) override;
    bool remove() override;

private:
    bool reachable();

    // A command-line program has no Qt application of its own; the keychain's jobs need one.
    std::unique_ptr<QCoreApplication> m_application;
};

} // namespace zuvemo::keyring
