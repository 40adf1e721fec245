#include <vexaqr/sync/Keys.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>

namespace vexaqr {

namespace {

struct Role {
    const char* name;
    bool needPrivate;
};
constexpr Role kPartnerPublic{"partner public key", false};
constexpr Role kAppPrivate{"application private key", true};
constexpr Role kPartnerPrivate{"partner private key", true};

Failure unreadable(const std::string& label, const std::string& what) {
    return Failure{FailureReason::unreadableKey, "the " + label + " " + what, std::nullopt, std::nullopt};
}

// One role's key from its PEM text (empty: not given); `label` names the role, and the file if any.
Outcome<KeyHandle> keyFromText(std::string_view text, const Role& role, const std::string& label) {
    if (text.empty())
        return KeyHandle();
    KeyHandle key = RsaKey::fromPem(text);
    if (!key)
        return unreadable(label, "holds no RSA key in PEM form");
    if (role.needPrivate && !key->isPrivate())
        return unreadable(label, "is a public key; a private key (\"PRIVATE KEY\") is needed here");
    return role.needPrivate ? key : key->publicKey();
}

// Private key text is wiped once the key is made.
Outcome<KeyHandle> keyFromFile(const std::string& path, const Role& role) {
    if (path.empty())
        return KeyHandle();
    const std::string label = std::string(role.name) + " file " + path;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return unreadable(label, std::string("cannot be read: ") + std::strerror(errno));
    Bytes text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto key = keyFromText(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), role, label);
    cleanse(text);
    return key;
}

Outcome<Keys> assemble(Outcome<KeyHandle> partnerPublic, Outcome<KeyHandle> appPrivate,
                       Outcome<KeyHandle> partnerPrivate) {
    for (const auto* key : {&partnerPublic, &appPrivate, &partnerPrivate}) {
        if (!*key)
            return key->failure();
    }
    return Keys{*partnerPublic, *appPrivate, *partnerPrivate};
}

} // namespace

Outcome<Keys> Keys::fromPemTexts(const KeySources& texts) {
    return assemble(keyFromText(texts.partnerPublic, kPartnerPublic, kPartnerPublic.name),
                    keyFromText(texts.appPrivate, kAppPrivate, kAppPrivate.name),
                    keyFromText(texts.partnerPrivate, kPartnerPrivate, kPartnerPrivate.name));
}

Outcome<Keys> Keys::fromPemFiles(const KeySources& paths) {
    return assemble(keyFromFile(paths.partnerPublic, kPartnerPublic), keyFromFile(paths.appPrivate, kAppPrivate),
                    keyFromFile(paths.partnerPrivate, kPartnerPrivate));
}

} // namespace vexaqr
