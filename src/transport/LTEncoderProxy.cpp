#include <vexaqr/transport/LTEncoderProxy.hpp>

#include "transport/LTPacketPayload.hpp"

namespace vexaqr {

Bytes LTEncoderProxy::nextPacket() {
    return _encoder.generatePacket().bytes();
}

} // namespace vexaqr
