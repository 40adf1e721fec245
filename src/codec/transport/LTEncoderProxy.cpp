#include "codec/transport/LTEncoderProxy.hpp"

#include "codec/transport/LTPacketPayload.hpp"

namespace vexaqr {

Bytes LTEncoderProxy::nextPacket() {
    return _encoder.generatePacket().bytes();
}

} // namespace vexaqr
