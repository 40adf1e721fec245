// The codec's whole public API in one include: keys, payload records, encoding bytes to frames and pictures,
// receiving them from pictures or a camera, and the presenter view. Links VexaQr::codec alone: no backend,
// no hub, no storage.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>
#include <vexaqr/Uuid.hpp>
#include <vexaqr/payload/KeyHandle.hpp>
#include <vexaqr/payload/VXAData.hpp>
#include <vexaqr/payload/VXADataWriter.hpp>
#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/sync/Encoding.hpp>
#include <vexaqr/sync/Failure.hpp>
#include <vexaqr/sync/Keys.hpp>
#include <vexaqr/sync/Receiver.hpp>
#include <vexaqr/views/VXAPresenterView.hpp>
