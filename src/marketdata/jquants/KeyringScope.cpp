#include "KeyringScope.h"

#include "ApiKey.h"
#include "SecretStore.h"

namespace zuvemo::marketdata {

KeyringScope::KeyringScope(std::shared_ptr<SecretStore> keyring)
    : m_keyring(std::move(keyring))
{
    ApiKey::setKeyring(m_keyring);
}

KeyringScope::~KeyringScope()
{
    ApiKey::setKeyring(nullptr);
}

} // namespace zuvemo::marketdata
