#pragma once

#include <memory>

namespace zuvemo::marketdata {

class SecretStore;

// Offers a keyring to ApiKey for as long as the scope lives, and takes it back at the end. A
// keyring that needs Qt must go before Qt does: main holds the scope, not a static.
class KeyringScope
{
public:
    explicit KeyringScope(std::shared_ptr<SecretStore> keyring);
    ~KeyringScope();
    KeyringScope(const KeyringScope&) = delete;
    KeyringScope& operator=(const KeyringScope&) = delete;

private:
    std::shared_ptr<SecretStore> m_keyring;
};

} // namespace zuvemo::marketdata
