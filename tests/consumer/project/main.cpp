// Links against the installed library and uses its public headers only: a record sealed, shown as frames
// and received again through the umbrella header's synchronous API.
#include <vexaqr/vexaqr.hpp>

#include <cstdio>

int main() {
    vexaqr::RunLoop loop;
    int ran = 0;
    loop.post([&] { ++ran; });
    loop.runUntilIdle();
    if (ran != 1) {
        std::puts("the installed library did not run a posted task");
        return 1;
    }
    const auto pair = vexaqr::RsaKey::generatePair(1024);
    vexaqr::VXADataWriter::Input input;
    input.content = vexaqr::Bytes{'{', '}'};
    input.cipherMethod = vexaqr::CipherMethod::RSA1024_AES128_SHA256;
    input.partnerPrivateKey = pair->privateKey;
    const auto record = vexaqr::VXADataWriter::write(input);
    const auto frames = vexaqr::encodeFrames(record.value_or(vexaqr::Bytes{}));
    if (!frames) {
        std::puts(frames.failure().message.c_str());
        return 1;
    }
    vexaqr::Receiver receiver(vexaqr::Keys{pair->publicKey, nullptr, nullptr});
    for (const auto& text : *frames) {
        if (auto received = receiver.feedFrameText(text)) {
            std::puts(*received && (*received)->actualVxaData == input.content ? "consumer ok" : "record not verified");
            return *received ? 0 : 1;
        }
    }
    std::puts("no record received");
    return 1;
}
