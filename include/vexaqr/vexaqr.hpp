// The whole public API in one include: the synchronous calls for the common jobs (keys, encoding to
// pictures and files, receiving pictures, the backend account), the views for hosts with a screen and a
// camera, the asynchronous facade with its backend account, and the units beneath them.
#pragma once

#include "account/platform/DataDirectory.hpp"
#include "codec/pictures/PngFile.hpp"
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRDecoderImpl.hpp"
#include "codec/transport/VexaQRGenerator.hpp"
#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>
#include <vexaqr/Uuid.hpp>
#include <vexaqr/payload/KeyHandle.hpp>
#include <vexaqr/payload/VXAData.hpp>
#include <vexaqr/payload/VXADataWriter.hpp>
#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/sdk/VexaQrSDK.hpp>
#include <vexaqr/sync/Account.hpp>
#include <vexaqr/sync/Encoding.hpp>
#include <vexaqr/sync/Failure.hpp>
#include <vexaqr/sync/Keys.hpp>
#include <vexaqr/sync/Receiver.hpp>
#include <vexaqr/views/VXAPresenterView.hpp>
#include <vexaqr/views/VXAScannerView.hpp>
